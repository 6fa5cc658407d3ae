// File > New from Time Zone: the dialog driven by the mouse and the keyboard,
// and what its OK does to the table.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QSpinBox>

#include "AppTestSupport.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// The key goes wherever the focus is, as a keyboard's would.
void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
}

void Type(const QString& text) {
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// Keys reach a dialog only once it is the active window.
void Activate(QDialog& dialog) {
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(QApplication::focusWidget());
}

QStringList PreviewRow(QDialog& zones, int row) {
    auto* preview = Control<QTableWidget>(zones, IDC_ZONE_PREVIEW);
    if (row >= preview->rowCount()) return {};
    return {preview->item(row, 0)->text(), preview->item(row, 1)->text()};
}

}  // namespace

class ZoneDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_scratch = std::make_unique<WindowScratch>(); }
    void cleanup() { m_scratch.reset(); }

    void berlinFromTheMenuFillsTheTable() {
        int previewRows = 0;
        WhenModal([&](QDialog& zones) {
            auto* filter = Control<QLineEdit>(zones, IDC_ZONE_FILTER);
            QTest::mouseClick(filter, Qt::LeftButton);
            QTest::keyClicks(filter, "berlin");
            QCOMPARE(Control<QListWidget>(zones, IDC_ZONE_LIST)->currentItem()->text(),
                     QStringLiteral("Europe/Berlin"));
            auto* year = Control<QSpinBox>(zones, IDC_ZONE_FIRST_YEAR);
            QTest::mouseDClick(year, Qt::LeftButton);
            QTest::keyClick(year, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(year, "2027");
            previewRows = Control<QTableWidget>(zones, IDC_ZONE_PREVIEW)->rowCount();
            QCOMPARE(PreviewRow(zones, 0), (QStringList{"28/03/2027", "31/10/2027"}));
            QTest::mouseClick(Control<QPushButton>(zones, IDOK), Qt::LeftButton);
        });
        NewFromTimeZone();
        QCOMPARE(previewRows, 15);
        QCOMPARE(Dlg().RowCount(), 15);
        QCOMPARE(RowTexts(Dlg()).first(), QStringLiteral("28/03/2027 31/10/2027"));
        QCOMPARE(RowTexts(Dlg()).last(), QStringLiteral("31/03/2041 27/10/2041"));
        QVERIFY(Control<QPushButton>(Dlg(), IDC_SEND)->isEnabled());
        QVERIFY(!Control<QPushButton>(Dlg(), IDC_ADD)->isEnabled());
        QVERIFY(Dlg().IsTableChanged());
        QCOMPARE(Dlg().windowTitle(), QStringLiteral("Velmora"));
    }

    void aZoneWithoutDaylightSavingIsRefusedAndTheTableStays() {
        AddRow(Dlg(), QDate(2027, 3, 5), QDate(2027, 10, 29));
        QString reason, noMatch;
        bool okEnabled = true, openAfterReturn = false;
        WhenModal([&](QDialog& zones) {
            Activate(zones);
            Type("Asia/Tokyo");
            reason = Control<QLabel>(zones, IDC_ZONE_REASON)->text();
            okEnabled = Control<QPushButton>(zones, IDOK)->isEnabled();
            Key(Qt::Key_Return);
            openAfterReturn = zones.isVisible();
            Type("zz");
            noMatch = Control<QLabel>(zones, IDC_ZONE_REASON)->text();
            Key(Qt::Key_Escape);
        });
        NewFromTimeZone();
        QVERIFY2(reason.contains("Asia/Tokyo has no daylight-saving period"), qPrintable(reason));
        QVERIFY(!okEnabled);
        QVERIFY(openAfterReturn);
        QCOMPARE(noMatch, QStringLiteral("Choose a time zone."));
        QCOMPARE(RowTexts(Dlg()), QStringList{"05/03/2027 29/10/2027"});
        QVERIFY(m_scratch->boxes.Boxes().empty());
    }

    // Keyboard only: the filter, Down through the zones it leaves, Tab to the
    // year and the rows, Enter for OK. The preview follows the date order.
    void periodRowsOfSydneyMonthFirstByKeyboard() {
        QFile ini(m_scratch->dir.File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nDate Format=1\n");
        ini.close();
        m_scratch->dlg = OpenMainDlg();

        QStringList calendarRow, periodRow;
        WhenModal([&](QDialog& zones) {
            Activate(zones);
            Type("australia/");
            Key(Qt::Key_Down);  // from the first zone left to the second
            QCOMPARE(Control<QListWidget>(zones, IDC_ZONE_LIST)->currentItem()->text(),
                     QStringLiteral("Australia/Brisbane"));
            Type("sydney");
            Key(Qt::Key_Tab);  // the list
            Key(Qt::Key_Tab);  // the first year
            Key(Qt::Key_A, Qt::ControlModifier);
            Type("2027");
            calendarRow = PreviewRow(zones, 0);
            Key(Qt::Key_Tab);  // the rows
            Key(Qt::Key_Down);
            periodRow = PreviewRow(zones, 0);
            Key(Qt::Key_Return);
        });
        NewFromTimeZone();
        QCOMPARE(calendarRow, (QStringList{"10/03/2027", "04/04/2027"}));
        QCOMPARE(periodRow, (QStringList{"10/04/2026", "04/04/2027"}));
        QCOMPARE(RowTexts(Dlg()).first(), QStringLiteral("10/04/2026 04/04/2027"));
        QCOMPARE(Dlg().RowCount(), 15);
    }

  private:
    // Through the File menu's own action.
    void NewFromTimeZone() {
        for (QAction* top : Control<QMenuBar>(Dlg(), IDR_MAIN_MENU)->actions()) {
            if (!top->menu()) continue;
            for (QAction* item : top->menu()->actions()) {
                if (item->data().toInt() == ID_FILE_NEW_FROM_ZONE) {
                    QCOMPARE(item->text(), QStringLiteral("&New from Time Zone..."));
                    item->trigger();
                    // The bar runs its command once it has let go of the
                    // keyboard; the dialog lives inside that queued call.
                    QCoreApplication::processEvents();
                    return;
                }
            }
        }
        QFAIL("File has no New from Time Zone");
    }

    CMainDlg& Dlg() { return *m_scratch->dlg; }

    std::unique_ptr<WindowScratch> m_scratch;
};

QTEST_MAIN(ZoneDlgTest)
#include "ZoneDlgTest.moc"
