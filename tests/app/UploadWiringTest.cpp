// How the main window carries the upload: link messages posted from other
// threads, the link's error boxes, the reply timer, and closing mid-exchange.
#include <QCoreApplication>
#include <thread>

#include "AppTestSupport.h"
#include "Files.h"
#include "PtyDevice_unix.h"
#include "WindowTimers.h"

using namespace velmora;
using namespace velmora::test;

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
        ILinkOwner* owner = &dlg->Exchange();
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
        ILinkOwner* owner = &dlg->Exchange();
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

        owner->ReportLinkError("from Open", false, current);
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
        PtyDevice device;
        WriteVelmoraIni(m_dir->File("Velmora.ini").toStdString(), device.Path(), 150);

        auto dlg = OpenMainDlg();
        FillTable(*dlg);
        // Saved, so that Exit has no question to ask.
        dlg->SetFileDialogHook(
            [this](CMainDlg::FileDialogKind) { return std::optional(m_dir->File("t.dst")); });
        dlg->Dispatch({MsgKind::Command, ID_FILE_SAVE, 0, 0, 0, {}});
        Control<QPushButton>(*dlg, IDC_SEND)->click();
        QVERIFY(m_boxes->Boxes().empty());
        QVERIFY(dlg->IsTimerRunning(ID_REPLY_TIMER));
        QVERIFY(dlg->Link().IsOpen());
        QCOMPARE(Control<QLineEdit>(*dlg, IDC_PROGRESS)->text(), QStringLiteral("1"));

        Control<QPushButton>(*dlg, IDCANCEL)->click();  // Exit
        QVERIFY(!dlg->isVisible());
        QVERIFY(!dlg->IsTimerRunning(ID_REPLY_TIMER));
        QVERIFY(!dlg->Link().IsOpen());
        device.Send(ByteString(15, '\0'));
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
