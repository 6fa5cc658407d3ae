#include "SplashWnd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <thread>

namespace {

// The banner window: paints the bitmap that its banner holds at the origin and
// nothing else. Where no bitmap is held the window's light-grey background shows.
class CBannerWindow : public QWidget {
  public:
    explicit CBannerWindow(const CSplashWnd& splash)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          m_splash(splash) {
        setWindowTitle(QStringLiteral("Banner"));
        setCursor(Qt::WaitCursor);
        QPalette background = palette();
        background.setColor(QPalette::Window, Qt::lightGray);
        setPalette(background);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (const QPixmap* bitmap = m_splash.Bitmap()) {
            QPainter painter(this);
            painter.drawPixmap(0, 0, *bitmap);
        }
    }

  private:
    const CSplashWnd& m_splash;
};

// How long Show waits for the window system to expose a new banner. A window can
// only be painted once it is exposed, and after Show the UI thread sleeps.
constexpr int kExposeWaitMs = 500;

}  // namespace

CSplashWnd::CSplashWnd() = default;

CSplashWnd::~CSplashWnd() {
    // A window left up would paint from a banner that no longer exists.
    Hide();
}

bool CSplashWnd::SetBitmap(QPixmap* bitmap) {
    if (bitmap != nullptr && bitmap == m_pBitmap.get()) {
        // Handed back the bitmap already held: nothing to release.
        return true;
    }
    m_pBitmap.reset(bitmap);
    if (!m_pBitmap) {
        return true;
    }
    if (m_pBitmap->isNull()) {
        m_pBitmap.reset();
        return false;
    }
    m_nWidth = m_pBitmap->width();
    m_nHeight = m_pBitmap->height();
    return true;
}

QWidget* CSplashWnd::Show() {
    Hide();
    // Widgets need the application object and a screen to be placed on. A banner
    // without a size has no window either: the window system would choose one.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr || screen == nullptr ||
        m_nWidth <= 0 || m_nHeight <= 0) {
        return nullptr;
    }

    m_pWindow = new CBannerWindow(*this);
    m_pWindow->setGeometry(CentredRect(screen->availableGeometry(), m_nWidth, m_nHeight));
    m_pWindow->show();

    // Paint it now, so that it is drawn before the pause that follows. Only events
    // that are not user input are handled while waiting for the exposure.
    QElapsedTimer waited;
    waited.start();
    while (m_pWindow && !m_pWindow->windowHandle()->isExposed() &&
           waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_pWindow) {
        m_pWindow->repaint();
    }
    return m_pWindow;
}

bool CSplashWnd::Hide() {
    if (!m_pWindow) {
        return false;
    }
    delete m_pWindow;
    return true;
}

QRect CSplashWnd::CentredRect(const QRect& area, int width, int height) {
    // Signed division truncating toward zero: a bitmap larger than the area
    // overhangs it on both sides.
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                 width, height);
}

void RunBanner(CSplashWnd& splash, const QString& bitmapPath, int pauseMs) {
    // A bitmap that cannot be loaded gives the banner no size: then there is
    // neither banner nor pause. Once it is loaded, start-up pauses whether or
    // not the banner window could be shown.
    if (!splash.SetBitmap(new QPixmap(bitmapPath))) {
        return;
    }
    const bool shown = splash.Show() != nullptr;
    if (shown) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The main window is not up yet; nothing needs the UI thread meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    if (shown) {
        splash.Hide();
        QGuiApplication::restoreOverrideCursor();
    }
    // The banner releases the bitmap; nobody else ever owned it.
    splash.SetBitmap(nullptr);
}

void RunStartupBanner(CSplashWnd& splash, int pauseMs) {
    // The resources are linked from a static library and must be asked for; once
    // is enough.
    static const bool resourcesRegistered = [] {
        Q_INIT_RESOURCE(velmora);
        return true;
    }();
    static_cast<void>(resourcesRegistered);
    RunBanner(splash, QStringLiteral(":/velmora/banner137.bmp"), pauseMs);
}
