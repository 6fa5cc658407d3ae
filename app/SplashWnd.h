// The start-up banner: a frameless, topmost tool window of exactly the bitmap's
// size, centred on the available screen area, that paints the bitmap and nothing else.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>

class CSplashWnd {
  public:
    CSplashWnd();
    ~CSplashWnd();
    CSplashWnd(const CSplashWnd&) = delete;
    CSplashWnd& operator=(const CSplashWnd&) = delete;

    // Takes ownership of `bitmap` (nullptr: none). The bitmap held before is
    // released. False when the bitmap has no usable description (it is released).
    bool SetBitmap(QPixmap* bitmap);
    // Takes down any banner that is up, then creates and shows a new one, painted
    // once. Returns the window, or nullptr when none could be created.
    QWidget* Show();
    // Takes the banner down; false when none was up.
    bool Hide();

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const QPixmap* Bitmap() const { return m_pBitmap.get(); }
    QWidget* Window() const { return m_pWindow; }

    // Where a banner of width x height goes on `area`: centred, in signed
    // arithmetic, so a smaller area gives negative coordinates.
    static QRect CentredRect(const QRect& area, int width, int height);

  private:
    // Guarded: a window that Qt destroys on its own does not count as up.
    QPointer<QWidget> m_pWindow;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::unique_ptr<QPixmap> m_pBitmap;
};

// The start-up sequence: load bitmap 137, show it, sleep 1.5 s on the UI thread,
// hide it and release the bitmap. `pauseMs` exists for tests.
void RunStartupBanner(CSplashWnd& splash, int pauseMs = 1500);

// The same sequence for any bitmap file. A bitmap that cannot be loaded gives no
// banner and no pause; a banner window that cannot be shown still gives the pause.
void RunBanner(CSplashWnd& splash, const QString& bitmapPath, int pauseMs);
