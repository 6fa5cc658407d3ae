// The main window under the keys and clicks of a user: where Enter goes, where
// the focus goes, which dates the pickers take, and what closing does to a
// table that was typed by hand.
#include <QFile>
#include <QLabel>
#include <QMenuBar>

#include "AppTestSupport.h"
#include "DateFile.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QPushButton* ButtonNamed(QDialog& box, const QString& text) {
    for (QPushButton* button : box.findChildren<QPushButton*>()) {
        if (button->text().remove('&') == text) return button;
    }
    return nullptr;
}

}  // namespace

class WindowInputTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>();
        m_boxes = std::make_unique<BoxRecorder>();
        // COM1 cannot open, so both commands end in a box at once; only Send
        // prepares the fifteen frames first.
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\nCOM1=/nonexistent/port\n");
        ini.close();
        Reopen();
    }
    void cleanup() {
        m_dlg.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    void enterStartsSendOnceTheTableIsFull() {
        QVERIFY(m_dlg->focusWidget());
        QVERIFY(!qobject_cast<QPushButton*>(m_dlg->focusWidget()));
        PressKey(*m_dlg, Qt::Key_Return);
        QVERIFY(m_dlg->isVisible());
        QVERIFY(m_boxes->Boxes().empty());

        std::vector<DstRow> rows;
        for (int year = 2030; year < 2030 + kMaxRows; ++year) {
            rows.push_back({ComposeDateText(30, 3, year, 0), ComposeDateText(26, 10, year, 0)});
        }
        QVERIFY(WriteDateFile(m_dir->File("table.dst").toStdString(), RowsToFileBytes(rows, 0)));
        m_chosenFile = m_dir->File("table.dst");
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        PressKey(*m_dlg, Qt::Key_Return);
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(m_dlg->Upload().FrameList().size(), std::size_t{kMaxRows});
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to open serial port!"});
    }

    // Add is disabled under the focus: the next key must not reach DST Delete or Exit.
    void fifteenthAddLeavesNoButtonUnderTheKeys() {
        for (const bool withMouse : {true, false}) {
            Reopen();
            auto* add = Control<QPushButton>(*m_dlg, IDC_ADD);
            Control<QDateEdit>(*m_dlg, IDC_END_DATE)->setDate(QDate(2040, 10, 28));
            if (!withMouse) add->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < kMaxRows; ++i) {
                if (withMouse) {
                    QTest::mouseClick(add, Qt::LeftButton);
                } else {
                    PressKey(*m_dlg, Qt::Key_Space);
                }
            }
            QCOMPARE(m_dlg->Rows().size(), std::size_t{kMaxRows});
            QWidget* focus = m_dlg->focusWidget();
            QVERIFY(focus != Control<QPushButton>(*m_dlg, IDC_DST_DELETE));
            QVERIFY(focus != Control<QPushButton>(*m_dlg, IDCANCEL));

            m_boxes->Clear();
            PressKey(*m_dlg, Qt::Key_Space);
            QVERIFY(m_boxes->Boxes().empty());
            PressKey(*m_dlg, Qt::Key_Return);
            QVERIFY2(m_dlg->isVisible(), withMouse ? "mouse" : "keyboard");
            QCOMPARE(m_dlg->Upload().FrameList().size(), std::size_t{kMaxRows});
            QCOMPARE(m_boxes->Texts(), QStringList{"Unable to open serial port!"});
        }
    }

    void pickersTakeOnlyYearsTheFileCanHold() {
        auto* picker = Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE);
        picker->setDate(QDate(2098, 6, 15));
        picker->setFocus();
        picker->setCurrentSection(QDateTimeEdit::YearSection);
        for (int i = 0; i < 3; ++i) QTest::keyClick(picker, Qt::Key_Up);
        QCOMPARE(picker->date(), QDate(2099, 6, 15));
        QTest::keyClicks(picker, "2105");
        QTest::keyClick(picker, Qt::Key_Tab);
        QVERIFY2(picker->date().year() <= 2099, qPrintable(picker->date().toString()));

        picker->setDate(QDate(2001, 6, 15));
        picker->setCurrentSection(QDateTimeEdit::YearSection);
        for (int i = 0; i < 3; ++i) QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(picker->date(), QDate(2000, 6, 15));
        QVERIFY(m_dlg->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    }

    // A dialog opened from the menu bar with the keyboard gives the focus back
    // to where it was, so the keys go on working.
    void menuBarCommandsGiveTheFocusBack() {
        auto* begin = Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE);
        QCOMPARE(m_dlg->focusWidget(), begin);
        bool settingsShown = false;
        WhenModal([&](QDialog& settings) {
            settingsShown = settings.objectName() == QString::number(IDD_SETTINGS);
            QTest::keyClick(&settings, Qt::Key_Escape);
        });
        QTest::keyClick(begin, Qt::Key_Alt);
        QWidget* menuBar = QApplication::focusWidget();
        QVERIFY(qobject_cast<QMenuBar*>(menuBar));
        QTest::keyClick(menuBar, Qt::Key_Right);
        QTest::keyClick(menuBar, Qt::Key_Return);
        QTRY_VERIFY(settingsShown);
        QTRY_COMPARE(m_dlg->focusWidget(), begin);
    }

    void closingAsksOnlyForAChangedTable() {
        // Emptied: Esc closes at once.
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        m_dlg->Dispatch({MsgKind::Command, ID_POPUP_DELETE_ALL, 0, 0, 0, {}});
        QVERIFY(!AskedDuring([this] { PressKey(*m_dlg, Qt::Key_Escape); }));
        QVERIFY(!m_dlg->isVisible());

        // A typed row: Esc asks, and Esc in the question goes back.
        Reopen();
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        QString question;
        WhenModal([&](QDialog& box) {
            question = box.findChild<QLabel*>("qt_msgbox_label")->text();
            QTest::keyClick(&box, Qt::Key_Escape);
        });
        PressKey(*m_dlg, Qt::Key_Escape);
        QVERIFY(question.startsWith("The table has changed"));
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(m_dlg->Rows().size(), std::size_t{1});

        // Exit, then "Close without saving".
        WhenModal([](QDialog& box) {
            QTest::mouseClick(ButtonNamed(box, "Close without saving"), Qt::LeftButton);
        });
        QTest::mouseClick(Control<QPushButton>(*m_dlg, IDCANCEL), Qt::LeftButton);
        QVERIFY(!m_dlg->isVisible());

        // The close box, then Enter: Save. A failed save keeps the window open.
        Reopen();
        FillTable(*m_dlg);
        QFile locked(m_dir->File("table.dst"));
        QVERIFY(locked.open(QIODevice::WriteOnly));
        locked.write("precious");
        locked.close();
        QVERIFY(locked.setPermissions(QFile::ReadOwner));
        for (const char* name : {"table.dst", "kept.dst"}) {
            m_chosenFile = m_dir->File(name);
            WhenModal([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
            m_dlg->close();
        }
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to write file!"});
        QCOMPARE(QFileInfo(m_dir->File("kept.dst")).size(), 75);
        QVERIFY(locked.open(QIODevice::ReadOnly));
        QCOMPARE(locked.readAll(), QByteArray("precious"));
        locked.close();

        // Typed rows replaced by a file, unchanged since: no question.
        Reopen();
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        QCOMPARE(m_dlg->Rows().size(), std::size_t{kMaxRows});
        QVERIFY(!AskedDuring([this] { PressKey(*m_dlg, Qt::Key_Escape); }));
        QVERIFY(!m_dlg->isVisible());
    }

  private:
    // A new main window, active as at start-up, whose file dialogs take m_chosenFile.
    void Reopen() {
        m_dlg = OpenMainDlg();
        m_dlg->SetFileDialogHook([this](CMainDlg::FileDialogKind) { return m_chosenFile; });
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
    }

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<CMainDlg> m_dlg;
    std::optional<QString> m_chosenFile;
};

QTEST_MAIN(WindowInputTest)
#include "WindowInputTest.moc"
