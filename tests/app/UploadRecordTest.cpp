// The window's record of uploads: a Send through the simulator adds its line,
// File > Upload History shows it, and a record that cannot be written neither
// changes the outcome nor is told more than once.
#include <QApplication>
#include <QLabel>

#include "AppTestSupport.h"
#include "DeviceFrame.h"
#include "Files.h"
#include "Subprocess.h"
#include "version.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kOutcomeMs = 10000;

// The 75 bytes the window's rows make, in hex.
std::string TableHex(const CMainDlg& dlg) {
    QByteArray bytes;
    for (const DstRow& row : dlg.Rows()) {
        const DstRecord record = RowToRecord(row, 0);
        bytes.append(reinterpret_cast<const char*>(record.data()), record.size());
    }
    return bytes.toHex().toUpper().toStdString();
}

}  // namespace

class UploadRecordTest : public QObject {
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

    void aSendIsRecordedAndShownInUploadHistory() {
        Simulator device;
        WriteVelmoraIni(m_dir->File("Velmora.ini").toStdString(), device.DevicePath(), 1000, true);
        RecordFolder record(m_dir->File("state"));
        auto dlg = OpenMainDlg();
        FillTable(*dlg);
        const QString file = m_dir->File("site.dst");
        dlg->SetFileDialogHook([file](CMainDlg::FileDialogKind) { return std::optional(file); });
        dlg->Dispatch({MsgKind::Command, ID_FILE_SAVE, 0, 0, 0, {}});

        QTest::mouseClick(Control<QPushButton>(*dlg, IDC_SEND), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->Texts(), QStringList{"Done!"}, kOutcomeMs);
        const std::vector<UploadRecord> lines = RecordFolder::Records();
        QCOMPARE(lines.size(), std::size_t{1});
        const UploadRecord& line = lines[0];
        QCOMPARE(line.program + " " + line.version, std::string("velmora " VELMORA_VERSION));
        QCOMPARE(line.command, std::string("send"));
        QCOMPARE(line.comPort, std::optional(1));
        QCOMPARE(line.devicePath, device.DevicePath());
        QCOMPARE(line.sourceFile, std::optional(file.toStdString()));
        QCOMPARE(line.bytesHex, TableHex(*dlg));
        QCOMPARE(line.outcome, std::string("Done!"));
        QCOMPARE(line.exitCode, 0);
        QCOMPARE(line.framesAnswered, kMaxRows);

        // Alt+F, then the entry's mnemonic.
        QStringList cells;
        QString state;
        WhenModal([&](QDialog& history) {
            auto* table = Control<QTableWidget>(history, IDC_HISTORY_LIST);
            for (int column = 0; table && column < table->columnCount(); ++column)
                cells << (table->item(0, column) ? table->item(0, column)->text() : QString());
            state = Control<QLabel>(history, IDC_HISTORY_STATE)->text();
            QTest::mouseClick(Control<QPushButton>(history, IDCANCEL), Qt::LeftButton);
        });
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
        QTest::keyClick(dlg.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_H);
        QTRY_VERIFY_WITH_TIMEOUT(!cells.isEmpty(), 5000);
        QCOMPARE(cells.mid(1, 2),
                 (QStringList{"COM1", QString::fromStdString(device.DevicePath())}));
        QCOMPARE(cells.mid(4), (QStringList{"Send", "2020-2034", "Done!"}));
        QVERIFY2(state.contains(QString::fromStdString(RecordFolder::Path())), qPrintable(state));
        QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // A file where the record's folder should be: the sends end as they would,
    // and the failure is told once, after the first outcome.
    void anUnwritableRecordIsToldOnceAndChangesNoOutcome() {
        Simulator device;
        WriteVelmoraIni(m_dir->File("Velmora.ini").toStdString(), device.DevicePath(), 1000, true);
        WriteBytes(m_dir->File("blocked").toStdString(), "not a folder");
        RecordFolder record(m_dir->File("blocked"));
        auto dlg = OpenMainDlg();
        FillTable(*dlg);
        QTest::mouseClick(Control<QPushButton>(*dlg, IDC_SEND), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->Boxes().size(), std::size_t{2}, kOutcomeMs);
        QTest::mouseClick(Control<QPushButton>(*dlg, IDC_DST_DELETE), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->Boxes().size(), std::size_t{3}, kOutcomeMs);
        QTest::qWait(100);  // no further box comes
        const QStringList texts = m_boxes->Texts();
        QCOMPARE(texts.size(), 3);
        QCOMPARE(texts[0], QStringLiteral("Done!"));
        QCOMPARE(texts[2], QStringLiteral("Done!"));
        QCOMPARE(texts[1], QStringLiteral("The upload was not added to the record of uploads %1: "
                                          "Not a directory.")
                               .arg(QString::fromStdString(RecordFolder::Path())));
    }

  private:
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
};

QTEST_MAIN(UploadRecordTest)
#include "UploadRecordTest.moc"
