// How the main window carries the upload: link messages posted from other
// threads, the link's error boxes, the reply timer, and closing mid-exchange.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <thread>

#include "AppTestSupport.h"
#include "WindowTimers.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// The master side of a pseudo-terminal; the window opens its slave as COM1.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 &&
            ptsname_r(m_master, name, sizeof name) == 0) {
            m_slavePath = QString::fromLocal8Bit(name);
        }
    }
    ~PseudoTerminal() {
        if (m_master >= 0) close(m_master);
    }
    const QString& SlavePath() const { return m_slavePath; }
    bool Write(const QByteArray& bytes) const {
        return write(m_master, bytes.constData(), bytes.size()) == bytes.size();
    }

  private:
    int m_master = -1;
    QString m_slavePath;
};

}  // namespace

class UploadWiringTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>();
        m_boxes = std::make_unique<BoxRecorder>();
    }
    void cleanup() {
        m_boxes.reset();
        m_dir.reset();
    }

    void postedBytesArriveInOrderAndStaleOnesAreDropped() {
        auto dlg = OpenMainDlg();
        const std::uint64_t current = dlg->Link().Generation();
        CMainDlg* owner = dlg.get();
        std::thread worker([owner, current] {
            for (int i = 0; i < 300; ++i) {
                owner->PostLinkMessage(
                    {WM_LINK_RXCHAR, static_cast<std::uintptr_t>(i & 0xFF), 1, current});
            }
        });
        worker.join();
        // A stopped worker's byte, and a line event the window has no entry for.
        owner->PostLinkMessage({WM_LINK_RXCHAR, 'x', 1, current + 1});
        owner->PostLinkMessage({WM_LINK_CTS, 0, 1, current});
        QVERIFY(dlg->Upload().ReplyBuffer().empty());  // posted, not yet delivered
        QCoreApplication::processEvents();

        std::string expected;
        for (int i = 0; i < 300; ++i) expected.push_back(static_cast<char>(i & 0xFF));
        QCOMPARE(dlg->Upload().ReplyBuffer(), expected);
    }

    void workerErrorsAreShownOnTheUiThreadUnlessTheWorkerWasStopped() {
        auto dlg = OpenMainDlg();
        CMainDlg* owner = dlg.get();
        const std::uint64_t current = dlg->Link().Generation();
        std::thread worker([owner, current] {
            owner->ReportLinkError("WARNING:  WriteFile() Failed", true, current - 1);
            owner->ReportLinkError("WARNING:  ReadFile() Failed", true, current);
        });
        worker.join();
        QVERIFY(m_boxes->Boxes().empty());
        QCoreApplication::processEvents();
        QCOMPARE(m_boxes->Boxes().size(), std::size_t{1});
        QCOMPARE(m_boxes->Boxes()[0].title, QStringLiteral("Application Error"));
        QCOMPARE(m_boxes->Boxes()[0].text, QStringLiteral("WARNING:  ReadFile() Failed"));
        QCOMPARE(m_boxes->Boxes()[0].type, MB_OK | MB_ICONERROR);

        dlg->ReportLinkError("from Open", false, current);
        QCOMPARE(m_boxes->Texts().last(), QStringLiteral("from Open"));
    }

    void replyTimerRepeatsUntilKilled() {
        int expiries = 0;
        CWindowTimers timers([&](int id) {
            if (id == ID_REPLY_TIMER) ++expiries;
        });
        timers.SetTimer(ID_REPLY_TIMER, -5);  // taken as the shortest period
        QTRY_VERIFY_WITH_TIMEOUT(expiries >= 3, 2000);
        QVERIFY(timers.KillTimer(ID_REPLY_TIMER));
        QVERIFY(!timers.KillTimer(ID_REPLY_TIMER));
        const int afterKill = expiries;
        QTest::qWait(50);
        QCOMPARE(expiries, afterKill);
    }

    void closingDuringAnExchangeEndsItQuietly() {
        PseudoTerminal device;
        QVERIFY(!device.SlavePath().isEmpty());
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[Settings]\nTimeout=150\n[Ports]\nCOM1=%1\n")
                      .arg(device.SlavePath())
                      .toLocal8Bit());
        ini.close();

        auto dlg = OpenMainDlg();
        FillTable(*dlg);
        Control<QPushButton>(*dlg, IDC_SEND)->click();
        QVERIFY(m_boxes->Boxes().empty());
        QVERIFY(dlg->IsTimerRunning(ID_REPLY_TIMER));
        QVERIFY(dlg->Link().IsOpen());
        QCOMPARE(Control<QLineEdit>(*dlg, IDC_PROGRESS)->text(), QStringLiteral("1"));

        Control<QPushButton>(*dlg, IDCANCEL)->click();  // Exit
        QVERIFY(!dlg->isVisible());
        QVERIFY(!dlg->IsTimerRunning(ID_REPLY_TIMER));
        QVERIFY(!dlg->Link().IsOpen());
        device.Write(QByteArray(15, '\0'));
        QTest::qWait(400);  // well past the reply period
        QVERIFY(m_boxes->Boxes().empty());
        QVERIFY(dlg->Upload().ReplyBuffer().empty());
    }

  private:
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
};

QTEST_MAIN(UploadWiringTest)
#include "UploadWiringTest.moc"
