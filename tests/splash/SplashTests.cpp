// The start-up banner on the offscreen platform: bitmap ownership, the window it
// puts up, where it goes, what it paints, and the start-up sequence.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QtEndian>
#include <QtTest>

#include "SplashWnd.h"

namespace {

// Counts its own destruction, so that a test can see when the banner releases it.
class CountedPixmap : public QPixmap {
  public:
    CountedPixmap(int width, int height, int& deleted)
        : QPixmap(width, height), m_deleted(deleted) {
        fill(Qt::darkGreen);
    }
    ~CountedPixmap() override { ++m_deleted; }

  private:
    int& m_deleted;
};

QPixmap* FilledPixmap(int width, int height, const QColor& colour) {
    auto* bitmap = new QPixmap(width, height);
    bitmap->fill(colour);
    return bitmap;
}

quint32 Le32(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 Le16(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

}  // namespace

class SplashTests : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { Q_INIT_RESOURCE(velmora); }

    void cleanup() {
        // No test may leave a window behind for the next one.
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    void setBitmapOwnsAndReleasesEachBitmapOnce() {
        int deleted = 0;
        {
            CSplashWnd splash;
            QVERIFY(splash.SetBitmap(nullptr));
            QVERIFY(splash.Bitmap() == nullptr);

            QVERIFY(splash.SetBitmap(new CountedPixmap(40, 30, deleted)));
            QCOMPARE(splash.Width(), 40);
            QCOMPARE(splash.Height(), 30);

            auto* second = new CountedPixmap(50, 20, deleted);
            QVERIFY(splash.SetBitmap(second));
            QCOMPARE(deleted, 1);
            QVERIFY(splash.Bitmap() == second);
            QCOMPARE(splash.Width(), 50);

            // Handing back the bitmap already held must not release it.
            QVERIFY(splash.SetBitmap(second));
            QCOMPARE(deleted, 1);

            QVERIFY(splash.SetBitmap(nullptr));
            QCOMPARE(deleted, 2);
            QVERIFY(splash.Bitmap() == nullptr);

            QVERIFY(splash.SetBitmap(new CountedPixmap(10, 10, deleted)));
        }
        // The banner's destructor released the last one.
        QCOMPARE(deleted, 3);
    }

    void setBitmapRefusesAnEmptyBitmap() {
        CSplashWnd splash;
        QVERIFY(splash.SetBitmap(FilledPixmap(40, 30, Qt::red)));
        QVERIFY(!splash.SetBitmap(new QPixmap()));
        QVERIFY(splash.Bitmap() == nullptr);
        // The size of the last good bitmap stays.
        QCOMPARE(splash.Width(), 40);
        QCOMPARE(splash.Height(), 30);
    }

    void showPutsUpOneCentredFramelessTopmostToolWindow() {
        CSplashWnd splash;
        QVERIFY(!splash.Hide());
        QVERIFY(splash.Window() == nullptr);
        // Nothing to size the window by: no window.
        QVERIFY(splash.Show() == nullptr);

        QVERIFY(splash.SetBitmap(FilledPixmap(635, 136, Qt::blue)));
        QPointer<QWidget> first = splash.Show();
        QVERIFY(first);
        QVERIFY(splash.Window() == first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowType(), Qt::Tool);
        QVERIFY(first->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(first->cursor().shape(), Qt::WaitCursor);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(first->geometry(), CSplashWnd::CentredRect(area, 635, 136));
        QCOMPARE(first->size(), QSize(635, 136));

        // Show while up replaces the window.
        QPointer<QWidget> second = splash.Show();
        QVERIFY(second);
        QVERIFY(first.isNull());
        QVERIFY(splash.Window() == second);
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);

        QVERIFY(splash.Hide());
        QVERIFY(second.isNull());
        QVERIFY(splash.Window() == nullptr);
        QVERIFY(!splash.Hide());
    }

    void windowPaintsTheBitmapOrNothing() {
        CSplashWnd splash;
        QVERIFY(splash.SetBitmap(FilledPixmap(200, 60, QColor(10, 200, 30))));
        QWidget* window = splash.Show();
        QVERIFY(window);
        const QImage painted = window->grab().toImage();
        QCOMPARE(painted.pixelColor(0, 0), QColor(10, 200, 30));
        QCOMPARE(painted.pixelColor(199, 59), QColor(10, 200, 30));

        // Without a bitmap the window keeps its size and shows only its background.
        QVERIFY(splash.SetBitmap(nullptr));
        window = splash.Show();
        QVERIFY(window);
        QCOMPARE(window->size(), QSize(200, 60));
        const QImage empty = window->grab().toImage();
        QCOMPARE(empty.pixelColor(100, 30), QColor(Qt::lightGray));
        QVERIFY(splash.Hide());
    }

    void bannerLargerThanTheAreaOverhangsIt() {
        // Truncating division: (600 - 635) / 2 = -17, (100 - 136) / 2 = -18.
        QCOMPARE(CSplashWnd::CentredRect(QRect(0, 0, 600, 100), 635, 136),
                 QRect(-17, -18, 635, 136));
        QCOMPARE(CSplashWnd::CentredRect(QRect(10, 20, 800, 600), 635, 136),
                 QRect(92, 252, 635, 136));

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        CSplashWnd splash;
        QVERIFY(splash.SetBitmap(FilledPixmap(area.width() + 101, area.height() + 41, Qt::gray)));
        QWidget* window = splash.Show();
        QVERIFY(window);
        QCOMPARE(window->pos(), QPoint(area.x() - 50, area.y() - 20));
        QVERIFY(splash.Hide());
    }

    void destroyingTheBannerTakesItsWindowDown() {
        QPointer<QWidget> window;
        {
            CSplashWnd splash;
            QVERIFY(splash.SetBitmap(FilledPixmap(30, 30, Qt::yellow)));
            window = splash.Show();
            QVERIFY(window);
        }
        QVERIFY(window.isNull());
    }

    void resourcesHoldTheBannerAndTheIcon() {
        QFile file(QStringLiteral(":/velmora/banner137.bmp"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bmp = file.readAll();
        QVERIFY(bmp.size() >= 54);
        QCOMPARE(bmp.left(2), QByteArray("BM"));
        QCOMPARE(Le32(bmp, 14), 40u);          // BITMAPINFOHEADER
        QCOMPARE(Le32(bmp, 18), 635u);         // width
        QCOMPARE(qint32(Le32(bmp, 22)), 136);  // positive height: bottom-up
        QCOMPARE(Le16(bmp, 28), quint16(8));   // bits per pixel
        QCOMPARE(Le32(bmp, 30), 0u);           // uncompressed
        const quint32 colours = Le32(bmp, 46) == 0 ? 256u : Le32(bmp, 46);
        QCOMPARE(colours, 256u);
        QCOMPARE(Le32(bmp, 10), 14u + 40u + 256u * 4u);  // pixels follow the palette
        const quint32 rowBytes = (635u + 3u) & ~3u;
        QCOMPARE(quint32(bmp.size()), Le32(bmp, 10) + rowBytes * 136u);

        QCOMPARE(QPixmap(QStringLiteral(":/velmora/banner137.bmp")).size(), QSize(635, 136));
        QCOMPARE(QPixmap(QStringLiteral(":/velmora/icon128.png")).size(), QSize(48, 48));
    }

    void startupBannerPausesThenLeavesNothingBehind() {
        CSplashWnd splash;
        QElapsedTimer elapsed;
        elapsed.start();
        RunStartupBanner(splash, 80);
        QVERIFY(elapsed.elapsed() >= 80);
        // The bitmap it showed was the banner's own, and it is released again.
        QCOMPARE(splash.Width(), 635);
        QCOMPARE(splash.Height(), 136);
        QVERIFY(splash.Bitmap() == nullptr);
        QVERIFY(splash.Window() == nullptr);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

    void unloadableBitmapGivesNoBannerAndNoPause() {
        CSplashWnd splash;
        QElapsedTimer elapsed;
        elapsed.start();
        RunBanner(splash, QStringLiteral(":/velmora/no-such-bitmap.bmp"), 5000);
        QVERIFY(elapsed.elapsed() < 2500);
        QVERIFY(splash.Bitmap() == nullptr);
        QVERIFY(splash.Window() == nullptr);
        QCOMPARE(splash.Width(), 0);
    }
};

QTEST_MAIN(SplashTests)
#include "SplashTests.moc"
