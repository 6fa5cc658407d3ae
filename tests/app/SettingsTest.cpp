// The Settings dialog and what its OK does to the profile, the pickers and the rows.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>

#include "AppTestSupport.h"
#include "Profile.h"
#include "SettingsDlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

struct StoredSettings {
    int timeout;
    int port;
    int dateOrder;
    bool operator==(const StoredSettings&) const = default;
};

StoredSettings ReadStored(const QString& iniPath) {
    const Profile profile(iniPath.toStdString());
    return {profile.GetProfileInt("Settings", "Timeout", -999),
            profile.GetProfileInt("Settings", "Port", -999),
            profile.GetProfileInt("Settings", "Date Format", -999)};
}

void ClickOk(QDialog& dialog) {
    Control<QPushButton>(dialog, IDOK)->click();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

Q_DECLARE_METATYPE(StoredSettings)

class SettingsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>();
        m_boxes = std::make_unique<BoxRecorder>();
        m_dlg = OpenMainDlg();
    }
    void cleanup() {
        m_dlg.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    void firstOkCreatesTheProfileWithTheDefaults() {
        QCOMPARE(QDir::fromNativeSeparators(m_dlg->ProfilePath()), m_dir->File("Velmora.ini"));
        QVERIFY(!QFile::exists(m_dlg->ProfilePath()));
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->displayFormat(),
                 QStringLiteral("dd/MM/yyyy"));

        QString port, timeout;
        bool dayFirst = false;
        WhenModal([&](QDialog& settings) {
            port = Control<QComboBox>(settings, IDC_PORT)->currentText();
            timeout = Control<QLineEdit>(settings, IDC_TIMEOUT)->text();
            dayFirst = Control<QRadioButton>(settings, IDC_DAY_FIRST)->isChecked();
            ClickOk(settings);
        });
        OpenSettings();
        QCOMPARE(port, QStringLiteral("COM1"));
        QCOMPARE(timeout, QStringLiteral("1000"));
        QVERIFY(dayFirst);
        QCOMPARE(ReadStored(m_dlg->ProfilePath()), (StoredSettings{1000, 1, 0}));

        QFile ini(m_dlg->ProfilePath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.indexOf("Timeout=") < text.indexOf("Port="));
        QVERIFY(text.indexOf("Port=") < text.indexOf("Date Format="));
    }

    void monthFirstRewritesRowsAndPickers() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        AddRow(*m_dlg, QDate(2008, 3, 30), QDate(2008, 10, 26));
        WhenModal([](QDialog& settings) {
            Control<QRadioButton>(settings, IDC_MONTH_FIRST)->click();
            ClickOk(settings);
        });
        OpenSettings();
        QCOMPARE(RowTexts(*m_dlg), (QStringList{"03/05/2007 10/29/2007", "03/30/2008 10/26/2008"}));
        QCOMPARE(m_dlg->GetDateOrder(), 1);
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_END_DATE)->displayFormat(),
                 QStringLiteral("MM/dd/yyyy"));
        QCOMPARE(ReadStored(m_dlg->ProfilePath()).dateOrder, 1);

        // Back and forth before OK is no change: the rows stay as they are.
        WhenModal([](QDialog& settings) {
            Control<QRadioButton>(settings, IDC_DAY_FIRST)->click();
            Control<QRadioButton>(settings, IDC_MONTH_FIRST)->click();
            ClickOk(settings);
        });
        OpenSettings();
        QCOMPARE(RowTexts(*m_dlg).first(), QStringLiteral("03/05/2007 10/29/2007"));
    }

    void cancelDiscardsEveryChoice() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        WhenModal([](QDialog& settings) {
            Control<QRadioButton>(settings, IDC_MONTH_FIRST)->click();
            Control<QLineEdit>(settings, IDC_TIMEOUT)->setText("250");
            auto* combo = Control<QComboBox>(settings, IDC_PORT);
            combo->setCurrentIndex(3);
            combo->showPopup();
            combo->hidePopup();
            Control<QPushButton>(settings, IDCANCEL)->click();
        });
        OpenSettings();
        QCOMPARE(RowTexts(*m_dlg), QStringList{"05/03/2007 29/10/2007"});
        QCOMPARE(m_dlg->GetDateOrder(), 0);
        QCOMPARE(m_dlg->Timeout(), 1000);
        QCOMPARE(m_dlg->Port(), 1);
        QVERIFY(!QFile::exists(m_dlg->ProfilePath()));
    }

    // The port is the one the box shows when OK is pressed, whichever way it got there.
    void portIsTheOneTheBoxShows() {
        const auto chooseThenReturn = [this](std::function<void(QComboBox&)> choose) {
            QString shownOnEntry;
            WhenModal([&](QDialog& settings) {
                auto* combo = Control<QComboBox>(settings, IDC_PORT);
                shownOnEntry = combo->currentText();
                choose(*combo);
                QTest::keyClick(&settings, Qt::Key_Return);
            });
            OpenSettings();
            return shownOnEntry;
        };
        // The mouse: open the list, click the third entry.
        chooseThenReturn([](QComboBox& combo) {
            QTest::mouseClick(&combo, Qt::LeftButton, {}, QPoint(combo.width() - 5, 5));
            QVERIFY(combo.view()->isVisible());
            QTest::qWait(QApplication::doubleClickInterval() + 50);
            QWidget* list = combo.view()->viewport();
            const QRect third = combo.view()->visualRect(combo.model()->index(2, 0));
            QTest::mouseClick(list, Qt::LeftButton, {}, third.center());
        });
        QCOMPARE(m_dlg->Port(), 3);
        QCOMPARE(ReadStored(m_dlg->ProfilePath()).port, 3);

        // F4, Down, Down, Enter in the list.
        const QString shown = chooseThenReturn([](QComboBox& combo) {
            QTest::keyClick(&combo, Qt::Key_F4);
            QVERIFY(combo.view()->isVisible());
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
                QTest::keyClick(combo.view(), key);
            }
        });
        QCOMPARE(shown, QStringLiteral("COM3"));
        QCOMPARE(m_dlg->Port(), 5);

        // Arrow keys on the closed box.
        chooseThenReturn([](QComboBox& combo) { QTest::keyClick(&combo, Qt::Key_Down); });
        QCOMPARE(m_dlg->Port(), 6);

        // A typed name that is no port is refused; the dialog stays open.
        chooseThenReturn([](QComboBox& combo) {
            combo.lineEdit()->selectAll();
            QTest::keyClicks(&combo, "COM9");
            QTest::keyClick(combo.window(), Qt::Key_Return);
            QVERIFY(combo.isVisible());
        });
        QCOMPARE(m_boxes->Texts(), QStringList(2, "Choose a port from COM1 to COM8."));
        QCOMPARE(m_dlg->Port(), 6);
    }

    // A port outside 1..8 shows no entry and is kept by OK. Any non-zero date
    // order is month first, held as 1: clicking the checked order and OK
    // rewrites no row, and OK stores 1.
    void oddProfileValuesKeepThePortAndReadAsMonthFirst_data() {
        QTest::addColumn<QByteArray>("dateFormat");
        QTest::newRow("2") << QByteArray("2");
        QTest::newRow("-1") << QByteArray("-1");
    }
    void oddProfileValuesKeepThePortAndReadAsMonthFirst() {
        QFETCH(QByteArray, dateFormat);
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nPort=12\nTimeout=40\nDate Format=" + dateFormat + "\n");
        ini.close();
        m_dlg = OpenMainDlg();
        QCOMPARE(m_dlg->Port(), 12);
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->displayFormat(),
                 QStringLiteral("MM/dd/yyyy"));
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        QCOMPARE(RowTexts(*m_dlg), QStringList{"03/05/2007 10/29/2007"});

        int shownIndex = 0;
        bool monthFirstShown = false;
        WhenModal([&](QDialog& settings) {
            auto* combo = Control<QComboBox>(settings, IDC_PORT);
            shownIndex = combo->currentIndex();
            QTest::keyClick(combo, Qt::Key_F4);
            QTest::keyClick(combo->view(), Qt::Key_Escape);
            auto* monthFirst = Control<QRadioButton>(settings, IDC_MONTH_FIRST);
            monthFirstShown = monthFirst->isChecked();
            QTest::mouseClick(monthFirst, Qt::LeftButton);
            ClickOk(settings);
        });
        OpenSettings();
        QCOMPARE(shownIndex, -1);
        QVERIFY(monthFirstShown);
        QCOMPARE(RowTexts(*m_dlg), QStringList{"03/05/2007 10/29/2007"});
        QCOMPARE(ReadStored(m_dlg->ProfilePath()), (StoredSettings{40, 12, 1}));
    }

    // The field takes digits only, typed or pasted; an empty field refuses OK
    // and 0 is taken.
    void timeoutTakesDigitsOnly() {
        bool openAfterEmpty = false;
        bool editHasFocus = false;
        QString typed;
        WhenModal([&](QDialog& settings) {
            auto* edit = Control<QLineEdit>(settings, IDC_TIMEOUT);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClick(edit, Qt::Key_Return);
            openAfterEmpty = settings.isVisible();
            editHasFocus = settings.focusWidget() == edit;
            QTest::keyClicks(edit, "-2x5 0+");
            typed = edit->text();
            // A pasted text that is not all digits is refused whole.
            QApplication::clipboard()->setText(QStringLiteral("-7"));
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        OpenSettings();
        QVERIFY(openAfterEmpty);
        QVERIFY(editHasFocus);
        QCOMPARE(typed, QStringLiteral("250"));
        QCOMPARE(m_boxes->Texts(), QStringList{"Please enter an integer."});
        QCOMPARE(m_dlg->Timeout(), 250);
        QCOMPARE(ReadStored(m_dlg->ProfilePath()).timeout, 250);

        WhenModal([](QDialog& settings) {
            auto* edit = Control<QLineEdit>(settings, IDC_TIMEOUT);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, "0");
            ClickOk(settings);
        });
        OpenSettings();
        QCOMPARE(m_dlg->Timeout(), 0);
        QCOMPARE(ReadStored(m_dlg->ProfilePath()).timeout, 0);
    }

    // Files as other editors leave them are read as the platform's profile
    // functions read them, and OK changes the first [Settings] section in place.
    void oddProfilesAreReadAndWrittenInPlace_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<StoredSettings>("read");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Settings]\r\nPort=4\r\nDate Format=1\r\n")
            << StoredSettings{1000, 4, 1}
            << QByteArray(
                   "\xEF\xBB\xBF[Settings]\r\nPort=4\r\nDate Format=1\r\nTimeout=1000\r\n"
                   "Early Judgement=0\r\n");
        QTest::newRow("empty values")
            << QByteArray("[Settings]\nPort=\nTimeout=\nDate Format=\n")
            << StoredSettings{1000, 1, 0}
            << QByteArray("[Settings]\nPort=1\nTimeout=1000\nDate Format=0\nEarly Judgement=0\n");
        QTest::newRow("quoted values")
            << QByteArray("[Settings]\nPort=\"3\"\nTimeout='400'\n") << StoredSettings{400, 3, 0}
            << QByteArray("[Settings]\nPort=3\nTimeout=400\nDate Format=0\nEarly Judgement=0\n");
        QTest::newRow("section twice")
            << QByteArray("[Settings]\nPort=2\n\n[Settings]\nTimeout=999\n")
            << StoredSettings{1000, 2, 0}
            << QByteArray(
                   "[Settings]\nPort=2\nTimeout=1000\nDate Format=0\nEarly Judgement=0\n\n"
                   "[Settings]\nTimeout=999\n");
        QTest::newRow("CR line ends")
            << QByteArray("[Settings]\rPort=4\rTimeout=300\r") << StoredSettings{300, 4, 0}
            << QByteArray("[Settings]\rPort=4\rTimeout=300\rDate Format=0\rEarly Judgement=0\r");
    }
    void oddProfilesAreReadAndWrittenInPlace() {
        QFETCH(QByteArray, before);
        QFETCH(StoredSettings, read);
        QFETCH(QByteArray, after);
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(before);
        ini.close();
        m_dlg = OpenMainDlg();
        QCOMPARE((StoredSettings{m_dlg->Timeout(), m_dlg->Port(), m_dlg->GetDateOrder()}), read);

        WhenModal([](QDialog& settings) {
            QTest::mouseClick(Control<QPushButton>(settings, IDOK), Qt::LeftButton);
        });
        OpenSettings();
        QCOMPARE(ReadAll(ini.fileName()), after);
        QCOMPARE(ReadStored(ini.fileName()), read);
    }

    void okResetsThePickersButKeepsUnchangedRows() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->setDate(QDate(2001, 1, 1));
        WhenModal(ClickOk);
        OpenSettings();
        const QDate today = QDateTime::currentDateTimeUtc().date();
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->date(), today);
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_END_DATE)->date(), today);
        QCOMPARE(RowTexts(*m_dlg), QStringList{"05/03/2007 29/10/2007"});
    }

    void judgeAtOnceIsAFourthKeyOffUnlessSet() {
        bool shownChecked = true;
        WhenModal([&](QDialog& settings) {
            auto* box = Control<QCheckBox>(settings, IDC_JUDGE_AT_ONCE);
            shownChecked = box->isChecked();
            QTest::mouseClick(box, Qt::LeftButton);
            ClickOk(settings);
        });
        OpenSettings();
        QVERIFY(!shownChecked);
        QVERIFY(m_dlg->JudgesAtOnce());
        QCOMPARE(Profile(m_dlg->ProfilePath().toStdString())
                     .GetProfileInt("Settings", "Early Judgement", -1),
                 1);

        // A new window reads it back.
        m_dlg = OpenMainDlg();
        QVERIFY(m_dlg->JudgesAtOnce());
    }

    // On by default; turned off with its mnemonic, it is written as 0 and the
    // window's exchanges add no line.
    void recordUploadsTurnedOffWritesZeroAndRecordsNothing() {
        RecordFolder record(m_dir->File("state"));
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Ports]\nCOM1=nonexistent\n") > 0);
        ini.close();
        m_dlg = OpenMainDlg();
        const auto dstDelete = [this] {
            QTest::mouseClick(Control<QPushButton>(*m_dlg, IDC_DST_DELETE), Qt::LeftButton);
        };
        dstDelete();
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to open serial port!"});
        QCOMPARE(RecordFolder::Records().size(), std::size_t{1});

        bool shownChecked = false;
        WhenModal([&](QDialog& settings) {
            auto* box = Control<QCheckBox>(settings, IDC_RECORD_UPLOADS);
            shownChecked = box->isChecked();
            settings.activateWindow();
            if (!QTest::qWaitForWindowActive(&settings)) return;
            QTest::keyClick(&settings, Qt::Key_R, Qt::AltModifier);
            // A mnemonic clicks as the mouse would, a moment after the key.
            QTRY_VERIFY(!box->isChecked());
            ClickOk(settings);
        });
        OpenSettings();
        QVERIFY(shownChecked);
        QCOMPARE(Profile(m_dlg->ProfilePath().toStdString())
                     .GetProfileInt("Settings", "Record Uploads", -1),
                 0);
        dstDelete();
        QCOMPARE(m_boxes->Texts().size(), 2);
        QCOMPARE(RecordFolder::Records().size(), std::size_t{1});
    }

  private:
    void OpenSettings() { m_dlg->Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}}); }

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<CMainDlg> m_dlg;
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
