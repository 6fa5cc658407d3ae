// Start-up in a program whose application object has no widgets: the bitmap
// loads, but no banner window can be shown. Start-up pauses all the same.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QtTest>

#include "SplashWnd.h"

class BannerWithoutWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startupPausesAlthoughNoBannerCanBeShown() {
        Q_INIT_RESOURCE(velmora);
        CSplashWnd splash;
        QElapsedTimer elapsed;
        elapsed.start();
        RunStartupBanner(splash, 300);
        QVERIFY(elapsed.elapsed() >= 300);
        // The bitmap was loaded (it gave the banner its size) and released again.
        QCOMPARE(splash.Width(), 635);
        QVERIFY(splash.Bitmap() == nullptr);
        QVERIFY(splash.Window() == nullptr);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }
};

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    BannerWithoutWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BannerWithoutWindowTest.moc"
