// The whole road of an upload: fifteen rows loaded from a file, Send, the
// serial link on a pseudo-terminal, and the simulated device answering. The
// simulator's log must show the fifteen frames byte for byte in slot order.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <QComboBox>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "DeviceFrame.h"
#include "MainDlg.h"
#include "MessageBox.h"
#include "Resources.h"

using namespace velmora;

namespace {

// One line of the simulator's log: "<ms> <12 bytes in hex>".
QByteArray FrameFromLogLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    QByteArray bytes;
    for (qsizetype i = 1; i < fields.size(); ++i) bytes.append(QByteArray::fromHex(fields[i]));
    return bytes;
}

QList<QByteArray> LoggedFrames(const QString& logPath) {
    QFile log(logPath);
    QList<QByteArray> frames;
    if (!log.open(QIODevice::ReadOnly)) return frames;
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) frames.append(FrameFromLogLine(line));
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
    QProcess m_devsim;
    QString m_logPath;
    QStringList m_boxes;

    QString m_device;

    // Starts the simulator with `extra` options and writes a Velmora.ini that
    // sends COM1 to it (unless `mapCom1` is false) with the given timeout.
    void StartDevice(const QStringList& extra, int timeoutMs, bool mapCom1 = true) {
        m_logPath = m_dir.filePath("frames.log");
        QFile::remove(m_logPath);
        m_devsim.start(VELMORA_DEVSIM_PATH,
                       QStringList{"--log", m_logPath, "--stdin-lifeline"} + extra);
        QVERIFY(m_devsim.waitForStarted());
        QVERIFY(m_devsim.waitForReadyRead(5000));
        m_device = QString::fromLocal8Bit(m_devsim.readLine()).trimmed();
        QVERIFY(m_device.startsWith("/dev/"));
        QFile ini(m_dir.filePath("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QStringLiteral("[Settings]\nPort=1\nTimeout=%1\nDate Format=0\n").arg(timeoutMs).toLocal8Bit());
        if (mapCom1) ini.write(QStringLiteral("\n[Ports]\nCOM1=%1\n").arg(m_device).toLocal8Bit());
    }

    void StopDevice() {
        m_devsim.closeWriteChannel();
        if (!m_devsim.waitForFinished(5000)) {
            m_devsim.kill();
            m_devsim.waitForFinished();
        }
    }

    // A window in the test folder with the sample table opened from a file.
    std::unique_ptr<CMainDlg> OpenWindowWithTable() {
        const QString table = m_dir.filePath("sample.dst");
        if (!WriteDateFile(table.toStdString(), SampleTable())) return nullptr;
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Options{.showBanner = false});
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
