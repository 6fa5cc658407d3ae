// The whole road of an upload: fifteen rows loaded from a file, Send, the
// serial link on a pseudo-terminal, and the simulated device answering. The
// simulator's log must show the fifteen frames byte for byte in slot order.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "DeviceFrame.h"
#include "Files.h"
#include "MainDlg.h"
#include "MessageBox.h"
#include "Resources.h"
#include "Subprocess.h"

using namespace velmora;

namespace {

QList<QByteArray> LoggedFrames(const QString& logPath) {
    QList<QByteArray> frames;
    for (const std::string& frame : test::FramesAfterLastMark(logPath.toStdString())) {
        frames.append(QByteArray(frame.data(), qsizetype(frame.size())));
    }
    return frames;
}

DateFileBytes SampleTable() {
    // Fifteen years, each 5 March to 29 October, the year byte running 7..21.
    std::vector<DstRow> rows;
    for (int year = 2007; year < 2022; ++year) {
        rows.push_back({ComposeDateText(5, 3, year, 0), ComposeDateText(29, 10, year, 0)});
    }
    return RowsToFileBytes(rows, 0);
}

}  // namespace

class UploadEndToEnd : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_dir;
    QString m_oldDir;
    std::unique_ptr<test::Simulator> m_devsim;
    QString m_logPath;
    QStringList m_boxes;

    QString m_device;

    // Starts the simulator with `extra` options and writes a Velmora.ini that
    // sends COM1 to it (unless `mapCom1` is false) with the given timeout and
    // early judgement.
    void StartDevice(const std::vector<std::string>& extra, int timeoutMs, bool mapCom1 = true,
                     bool judgeAtOnce = false) {
        m_logPath = m_dir.filePath("frames.log");
        QFile::remove(m_logPath);
        std::vector<std::string> args{"--log", m_logPath.toStdString()};
        args.insert(args.end(), extra.begin(), extra.end());
        m_devsim = std::make_unique<test::Simulator>(args);
        m_device = QString::fromStdString(m_devsim->DevicePath());
        test::WriteVelmoraIni(m_dir.filePath("Velmora.ini").toStdString(),
                              mapCom1 ? m_devsim->DevicePath() : std::string(), timeoutMs,
                              judgeAtOnce);
    }

    void StopDevice() { m_devsim.reset(); }

    // A window in the test folder with the sample table opened from a file.
    std::unique_ptr<CMainDlg> OpenWindowWithTable() {
        const QString table = m_dir.filePath("sample.dst");
        if (!WriteDateFile(table.toStdString(), SampleTable())) return nullptr;
        auto dlg =
            std::make_unique<CMainDlg>(CMainDlg::Options{.showBanner = false, .startFile = {}});
        dlg->OnInitDialog();
        dlg->SetFileDialogHook([table](CMainDlg::FileDialogKind) { return std::optional(table); });
        DlgMessage open;
        open.id = ID_FILE_OPEN;
        dlg->Dispatch(open);
        return dlg;
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        SetMessageBoxHook([this](const BoxRequest& box) { m_boxes.append(box.text); });
    }

    void cleanupTestCase() {
        SetMessageBoxHook({});
        QDir::setCurrent(m_oldDir);
    }

    void init() { m_boxes.clear(); }
    void cleanup() { StopDevice(); }

    void goodDeviceReceivesFifteenFramesInSlotOrder() {
        StartDevice({}, 200);
        auto dlg = OpenWindowWithTable();
        QVERIFY(dlg);
        QCOMPARE(dlg->RowCount(), 15);

        auto* send = dlg->findChild<QPushButton*>(QString::number(IDC_SEND));
        QVERIFY(send && send->isEnabled());
        send->click();

        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 15000);
        QCOMPARE(m_boxes, QStringList{"Done!"});
        QCOMPARE(dlg->Upload().Progress(), 16);

        const QList<QByteArray> frames = LoggedFrames(m_logPath);
        QCOMPARE(frames.size(), 15);
        const std::vector<DstRow> rows = dlg->Rows();
        for (int r = 0; r < 15; ++r) {
            const ByteString expected = UploadFrame(r, RowToRecord(rows[r], 0));
            QCOMPARE(frames[r], QByteArray(expected.data(), qsizetype(expected.size())));
        }
        QVERIFY(!dlg->Link().IsOpen());
    }

    void wrongAnswerAtFrameFiveStopsTheUpload() {
        StartDevice({"--fail-at", "5", "--fail-mode", "last01"}, 150);
        auto dlg = OpenWindowWithTable();
        QVERIFY(dlg);
        dlg->findChild<QPushButton*>(QString::number(IDC_SEND))->click();

        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 15000);
        QCOMPARE(m_boxes, QStringList{"Communication error!"});
        QCOMPARE(dlg->Upload().Progress(), 0);
        QCOMPARE(LoggedFrames(m_logPath).size(), 6);
    }

    // With "Judge complete answers at once" fifteen frames take far less than
    // fifteen timeouts, and a slow device's sixteenth byte is still waited for.
    void earlyJudgementEndsSoonAndKeepsTheVerdict() {
        StartDevice({}, 2000, true, true);
        auto dlg = OpenWindowWithTable();
        QVERIFY(dlg && dlg->JudgesAtOnce());
        dlg->findChild<QPushButton*>(QString::number(IDC_SEND))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 10000);
        QCOMPARE(m_boxes, QStringList{"Done!"});
        QCOMPARE(LoggedFrames(m_logPath).size(), 15);
        StopDevice();

        m_boxes.clear();
        StartDevice({"--fail-mode", "len16", "--slow-byte", "40"}, 1000, true, true);
        dlg = OpenWindowWithTable();
        dlg->findChild<QPushButton*>(QString::number(IDC_SEND))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 5000);
        QCOMPARE(m_boxes, QStringList{"No reply!"});
        QCOMPARE(LoggedFrames(m_logPath).size(), 1);
    }

    void dstDeleteIsAnsweredAndAMissingPortIsReported() {
        StartDevice({}, 150);
        auto dlg = OpenWindowWithTable();
        QVERIFY(dlg);
        dlg->findChild<QPushButton*>(QString::number(IDC_DST_DELETE))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 5000);
        QCOMPARE(m_boxes, QStringList{"Done!"});
        const QList<QByteArray> frames = LoggedFrames(m_logPath);
        QCOMPARE(frames.size(), 1);
        const ByteString deleteFrame = DstDeleteFrame();
        QCOMPARE(frames[0], QByteArray(deleteFrame.data(), qsizetype(deleteFrame.size())));

        // The device goes away: the next Send cannot open the port.
        StopDevice();
        m_boxes.clear();
        dlg->findChild<QPushButton*>(QString::number(IDC_SEND))->click();
        QCOMPARE(m_boxes, QStringList{"Unable to open serial port!"});
        QVERIFY(!dlg->IsTimerRunning(kReplyTimerId));
    }

    // No file edited by hand: the device is typed into Settings, and Send reaches it.
    void aDeviceChosenInSettingsIsWhereSendGoes() {
        StartDevice({}, 150, false);
        auto dlg = OpenWindowWithTable();
        QVERIFY(dlg);
        test::WhenModal([this](QDialog& settings) {
            QComboBox* field = test::Control<QComboBox>(settings, IDC_DEVICE);
            field->setFocus();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, m_device);
            QTest::mouseClick(test::Control<QPushButton>(settings, IDOK), Qt::LeftButton);
        });
        dlg->Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}});
        QTest::mouseClick(dlg->findChild<QPushButton*>(QString::number(IDC_SEND)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes.isEmpty(), 15000);
        QCOMPARE(m_boxes, QStringList{"Done!"});
        QCOMPARE(LoggedFrames(m_logPath).size(), 15);
    }
};

QTEST_MAIN(UploadEndToEnd)
#include "UploadEndToEndTest.moc"
