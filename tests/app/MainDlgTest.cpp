// The main window's date table, popup menu and date file commands, and the
// window under a user's keys and clicks: where Enter and the focus go, which
// years the pickers take, and what closing does to a typed table.
#include <QAbstractItemView>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <algorithm>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "MainApp.h"
#include "PlatformNames.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// What a popup showed: whether it appeared and which commands were enabled.
struct PopupSeen {
    bool shown = false;
    QMap<int, bool> enabled;
};

void WatchPopup(CMainDlg& dlg, PopupSeen& seen, int choice = 0) {
    dlg.SetPopupMenuHook([&seen, choice](QMenu& menu, const QPoint&) {
        seen = {true, {}};
        for (const QAction* action : menu.actions()) {
            if (!action->isSeparator()) seen.enabled[action->data().toInt()] = action->isEnabled();
        }
        return choice;
    });
}

// A right click at `at` in the list's own coordinates, delivered to the widget
// under that point and passed up like a real one.
void RightClick(QTableWidget& list, QPoint at) {
    const QPoint global = list.mapToGlobal(at);
    QWidget* target = list.viewport()->geometry().contains(at) ? list.viewport() : &list;
    QContextMenuEvent event(QContextMenuEvent::Mouse, target->mapFromGlobal(global), global);
    QApplication::sendEvent(target, &event);
}

QString WithDst(const QString& path) {
    return path.endsWith(".dst") ? path : path + ".dst";
}

QDate TodayUtc() {
    return QDateTime::currentDateTimeUtc().date();
}

}  // namespace

class MainDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>();
        m_boxes = std::make_unique<BoxRecorder>();
        Reopen();
        m_chosenFile.reset();
        m_asked.clear();
    }
    void cleanup() {
        m_dlg.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    void fifteenRowsSwapAddAndSend() {
        auto* add = Control<QPushButton>(*m_dlg, IDC_ADD);
        auto* send = Control<QPushButton>(*m_dlg, IDC_SEND);
        QVERIFY(add->isEnabled());
        QVERIFY(!send->isEnabled());
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora"));

        FillTable(*m_dlg);
        QCOMPARE(Control<QLineEdit>(*m_dlg, IDC_ROW_COUNT)->text(), QStringLiteral("15"));
        QVERIFY(!add->isEnabled());
        QVERIFY(send->isEnabled());

        auto* list = Control<QTableWidget>(*m_dlg, IDC_DATE_LIST);
        list->selectRow(6);
        PopupSeen seen;
        WatchPopup(*m_dlg, seen, ID_POPUP_DELETE);
        RightClick(*list, list->viewport()->geometry().center());
        QVERIFY(seen.shown);
        QCOMPARE(m_dlg->Rows().size(), std::size_t{14});
        QVERIFY(!RowTexts(*m_dlg).contains(QStringLiteral("05/03/2026 29/10/2026")));
        QCOMPARE(Control<QLineEdit>(*m_dlg, IDC_ROW_COUNT)->text(), QStringLiteral("14"));
        QVERIFY(add->isEnabled());
        QVERIFY(!send->isEnabled());
    }

    void addComposesTextsAndRefusesEqualDates() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        // An end before the begin is accepted as it stands.
        AddRow(*m_dlg, QDate(2007, 4, 1), QDate(2006, 12, 25));
        QCOMPARE(RowTexts(*m_dlg), (QStringList{"05/03/2007 29/10/2007", "01/04/2007 25/12/2006"}));
        QVERIFY(m_boxes->Boxes().empty());

        AddRow(*m_dlg, QDate(2008, 3, 30), QDate(2008, 3, 30));
        QCOMPARE(m_boxes->Texts(), QStringList{"Check date!"});
        QCOMPARE(m_boxes->Boxes().front().type, MB_OK);
        QCOMPARE(m_dlg->Rows().size(), std::size_t{2});
        QCOMPARE(Control<QLineEdit>(*m_dlg, IDC_ROW_COUNT)->text(), QStringLiteral("2"));
    }

    void popupGraysByRowsAndSelection() {
        auto* list = Control<QTableWidget>(*m_dlg, IDC_DATE_LIST);
        const QPoint inside = list->viewport()->geometry().center();
        PopupSeen seen;
        WatchPopup(*m_dlg, seen);

        RightClick(*list, inside);
        QVERIFY(seen.shown);
        QCOMPARE(seen.enabled, (QMap<int, bool>{
                                   {ID_POPUP_ADD, true},
                                   {ID_POPUP_DELETE, false},
                                   {ID_POPUP_DELETE_ALL, false},
                               }));

        FillTable(*m_dlg);
        list->clearSelection();
        RightClick(*list, inside);
        QCOMPARE(seen.enabled, (QMap<int, bool>{
                                   {ID_POPUP_ADD, false},
                                   {ID_POPUP_DELETE, false},
                                   {ID_POPUP_DELETE_ALL, true},
                               }));

        list->selectRow(0);
        RightClick(*list, inside);
        QCOMPARE(seen.enabled[ID_POPUP_DELETE], true);
    }

    void popupOnlyStrictlyInsideTheList() {
        auto* list = Control<QTableWidget>(*m_dlg, IDC_DATE_LIST);
        PopupSeen seen;
        WatchPopup(*m_dlg, seen);
        const int w = list->width();
        const int h = list->height();

        for (const QPoint edge : {QPoint(0, h / 2), QPoint(w / 2, 0), QPoint(w, h / 2),
                                  QPoint(w / 2, h), QPoint(-5, -5)}) {
            RightClick(*list, edge);
            QVERIFY2(!seen.shown,
                     qPrintable(QStringLiteral("menu at %1,%2").arg(edge.x()).arg(edge.y())));
        }
        RightClick(*list, QPoint(1, 1));
        QVERIFY(seen.shown);
        seen.shown = false;
        RightClick(*list, QPoint(w - 1, h - 1));
        QVERIFY(seen.shown);
    }

    void popupAddAndDeleteAllResetTheTableAndTitle() {
        auto* list = Control<QTableWidget>(*m_dlg, IDC_DATE_LIST);
        const QPoint inside = list->viewport()->geometry().center();
        PopupSeen seen;
        Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->setDate(QDate(2030, 3, 31));
        Control<QDateEdit>(*m_dlg, IDC_END_DATE)->setDate(QDate(2030, 10, 27));
        WatchPopup(*m_dlg, seen, ID_POPUP_ADD);
        RightClick(*list, inside);
        QCOMPARE(RowTexts(*m_dlg), QStringList{"31/03/2030 27/10/2030"});

        m_dlg->Dispatch({MsgKind::Command, ID_POPUP_DELETE_ALL, 0, 0, 0, {}});
        FillTable(*m_dlg);
        SaveTo("week.dst");
        OpenFrom("week.dst");
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora - week.dst"));

        WatchPopup(*m_dlg, seen, ID_POPUP_DELETE_ALL);
        RightClick(*list, inside);
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora"));
        QVERIFY(m_dlg->Rows().empty());
        QCOMPARE(Control<QLineEdit>(*m_dlg, IDC_ROW_COUNT)->text(), QStringLiteral("0"));
        QVERIFY(Control<QPushButton>(*m_dlg, IDC_ADD)->isEnabled());
        QVERIFY(!Control<QPushButton>(*m_dlg, IDC_SEND)->isEnabled());
    }

    void saveThenOpenRestoresTheTable() {
        FillTable(*m_dlg);
        const QStringList saved = RowTexts(*m_dlg);
        SaveTo("table");  // the suffix is added
        QCOMPARE(m_asked, QStringList{"save"});
        QFile file(m_dir->File("table.dst"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 75);
        QCOMPARE(bytes.left(5), QByteArray::fromHex("05031d0a14"));
        QCOMPARE(static_cast<int>(bytes.at(74)), 2034 - 2000);
        QVERIFY(m_boxes->Boxes().empty());

        m_dlg->Dispatch({MsgKind::Command, ID_POPUP_DELETE_ALL, 0, 0, 0, {}});
        AddRow(*m_dlg, QDate(2001, 1, 1), QDate(2001, 2, 2));  // replaced by the file
        OpenFrom("table.dst");
        QCOMPARE(RowTexts(*m_dlg), saved);
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora - table.dst"));
        QCOMPARE(Control<QLineEdit>(*m_dlg, IDC_ROW_COUNT)->text(), QStringLiteral("15"));
        QVERIFY(!Control<QPushButton>(*m_dlg, IDC_ADD)->isEnabled());
        QVERIFY(Control<QPushButton>(*m_dlg, IDC_SEND)->isEnabled());
    }

    void shortFileIsRefusedAndTheTableSurvives() {
        FillTable(*m_dlg);
        SaveTo("good.dst");
        OpenFrom("good.dst");
        const QStringList before = RowTexts(*m_dlg);
        QFile shortFile(m_dir->File("short.dst"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write(QByteArray(10, '\x05'));
        shortFile.close();

        OpenFrom("short.dst");
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to read file!"});
        QCOMPARE(m_boxes->Boxes().front().type, MB_OK | MB_ICONERROR);
        QCOMPARE(RowTexts(*m_dlg), before);
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora - good.dst"));
        QVERIFY(!Control<QPushButton>(*m_dlg, IDC_ADD)->isEnabled());
        QVERIFY(Control<QPushButton>(*m_dlg, IDC_SEND)->isEnabled());

        // A partial table stays partial, with its buttons.
        m_dlg->Dispatch({MsgKind::Command, ID_POPUP_DELETE_ALL, 0, 0, 0, {}});
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        OpenFrom("missing.dst");
        QCOMPARE(RowTexts(*m_dlg), QStringList{"05/03/2007 29/10/2007"});
        QVERIFY(Control<QPushButton>(*m_dlg, IDC_ADD)->isEnabled());
        QVERIFY(!Control<QPushButton>(*m_dlg, IDC_SEND)->isEnabled());
    }

    // `velmora FILE`: the file opens once the window runs; one that cannot be
    // read is said so, and the window starts with its empty table.
    void fileNamedAtStartOpensInTheRunningWindow() {
        FillTable(*m_dlg);
        SaveTo("start.dst");
        for (const auto& [name, rows, boxes] :
             {std::tuple{QStringLiteral("start.dst"), 15, QStringList{}},
              std::tuple{QStringLiteral("missing.dst"), 0, QStringList{"Unable to read file!"}}}) {
            m_boxes->Clear();
            CMainDlg started(
                CMainDlg::Options{.showBanner = false, .startFile = m_dir->File(name)});
            int rowsSeen = -1;
            QString title;
            WhenModal([&](QDialog&) {
                rowsSeen = static_cast<int>(started.Rows().size());
                title = started.windowTitle();
            });
            started.DoModal();
            QCOMPARE(rowsSeen, rows);
            QCOMPARE(m_boxes->Texts(), boxes);
            QCOMPARE(title,
                     rows ? QStringLiteral("Velmora - start.dst") : QStringLiteral("Velmora"));
        }
    }

    // The Start-menu entry and a double-clicked table start Velmora with
    // --user-settings: Velmora.ini is the one in Velmora of the user's
    // documents, whatever folder is current; one that cannot be written is
    // told once, with the file and the reason, and the choice holds.
    void userSettingsLieInTheDocumentsWhereverTheTableIs() {
        const QByteArray home = qgetenv("HOME");
        if (!kWindows) qputenv("HOME", m_dir->File("home").toUtf8());
        const CMainDlgOptions options = CMainApp::StartOptions(
            {"velmora", QLatin1String(kUserSettingsOption), m_dir->File("table.dst")});
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Velmora";
        if (!kWindows) qputenv("HOME", home);
        QCOMPARE(options.startFile, m_dir->File("table.dst"));
        QVERIFY(QDir(folder).exists());
        QFile ini(folder + "/Velmora.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nTimeout=345\n");
        ini.close();
        QVERIFY(ini.setPermissions(QFile::ReadOwner));

        CMainDlg started(
            CMainDlg::Options{.showBanner = false, .settingsFolder = options.settingsFolder});
        started.OnInitDialog();
        QCOMPARE(started.Timeout(), 345);
        QCOMPARE(QDir::fromNativeSeparators(started.ProfilePath()), ini.fileName());
        WhenModal([](QDialog& settings) {
            Control<QLineEdit>(settings, IDC_TIMEOUT)->setFocus();
            QTest::keyClick(Control<QLineEdit>(settings, IDC_TIMEOUT), Qt::Key_Backspace);
            QTest::keyClick(&settings, Qt::Key_Return);
        });
        started.Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}});
        QCOMPARE(started.Timeout(), 34);
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to save the settings!"});
        QCOMPARE(m_boxes->Boxes().front().details,
                 started.ProfilePath() +
                     ": the file is read-only.\nYour choices hold until Velmora ends.");

        QVERIFY(ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(ini.remove() && QDir().rmdir(folder));
        QVERIFY(!QFile::exists(m_dir->File("Velmora.ini")));
    }

    void cancelledOpenOnlyResetsThePickers() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        m_chosenFile.reset();
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        QCOMPARE(m_asked, QStringList{"open"});
        QCOMPARE(RowTexts(*m_dlg), QStringList{"05/03/2007 29/10/2007"});
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE)->date(), TodayUtc());
        QCOMPARE(Control<QDateEdit>(*m_dlg, IDC_END_DATE)->date(), TodayUtc());
        QVERIFY(!Control<QPushButton>(*m_dlg, IDC_SEND)->isEnabled());
        QVERIFY(m_boxes->Boxes().empty());
    }

    void saveNeedsFifteenRows() {
        AddRow(*m_dlg, QDate(2007, 3, 5), QDate(2007, 10, 29));
        m_chosenFile = m_dir->File("few.dst");
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_SAVE, 0, 0, 0, {}});
        QCOMPARE(m_boxes->Texts(), QStringList{"Insert 15 dates"});
        QCOMPARE(m_boxes->Boxes().front().type, MB_OK);
        QVERIFY(m_asked.isEmpty());
        QVERIFY(!QFile::exists(m_dir->File("few.dst")));
    }

    void failedSaveIsReportedAndLeavesTheTarget() {
        FillTable(*m_dlg);
        QDir(m_dir->Path()).mkpath("folder.dst");
        QFile inside(m_dir->File("folder.dst/kept"));
        QVERIFY(inside.open(QIODevice::WriteOnly));
        inside.close();

        SaveTo("folder.dst");
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to write file!"});
        QCOMPARE(m_boxes->Boxes().front().type, MB_OK | MB_ICONERROR);
        // The box says which file and why, in the system's words.
        const QString details = m_boxes->Boxes().front().details;
        QVERIFY2(details.startsWith(m_dir->File("folder.dst") + ": ") &&
                     details.size() > m_dir->File("folder.dst").size() + 3,
                 qPrintable(details));
        QVERIFY(QFileInfo(m_dir->File("folder.dst")).isDir());
        QVERIFY(QFile::exists(m_dir->File("folder.dst/kept")));
        QCOMPARE(
            QDir(m_dir->Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"folder.dst"});
    }

    // The real Save dialog, typed into: it asks before a new name and before a
    // replacement, and refuses a read-only file and a write-protected folder,
    // all before it lets the name be chosen.
    void saveDialogAsksAndRefusesBeforeANameIsChosen_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("before");  // "", "file", "read-only", "protected folder"
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("written");
        const int yes = QMessageBox::Yes;
        const int no = QMessageBox::No;
        const int ok = QMessageBox::Ok;
        QTest::newRow("new name, yes")
            << "fresh"
            << "" << yes << "fresh does not exist.\nDo you want to create it?" << true;
        QTest::newRow("new name, no") << "fresh"
                                      << "" << no << "does not exist" << false;
        QTest::newRow("existing, yes")
            << "table.dst"
            << "file" << yes << "table.dst already exists.\nDo you want to replace it?" << true;
        QTest::newRow("read-only")
            << "table.dst"
            << "read-only" << ok << "table.dst is read-only.\nChoose another name." << false;
        QTest::newRow("write-protected folder")
            << "sealed/table.dst"
            << "protected folder" << ok << "sealed is write-protected.\nChoose another folder."
            << false;
    }
    void saveDialogAsksAndRefusesBeforeANameIsChosen() {
        QFETCH(QString, typed);
        QFETCH(QString, before);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFETCH(bool, written);
        const QString target = WithDst(m_dir->File(typed));
        const QByteArray old("old contents");
        if (before == "protected folder") {
            if (!kFolderPermissionsHold) QSKIP("Windows ignores a folder's read-only attribute");
            QVERIFY(QDir(m_dir->Path()).mkdir("sealed"));
            QVERIFY(
                QFile::setPermissions(m_dir->File("sealed"), QFile::ReadOwner | QFile::ExeOwner));
        } else if (!before.isEmpty()) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
            file.close();
            if (before == "read-only") QVERIFY(file.setPermissions(QFile::ReadOwner));
        }
        m_dlg->SetFileDialogHook({});
        FillTable(*m_dlg);

        QString boxText;
        bool stillOpen = false;
        WhenModal([&](QDialog& dialog) {
            // The dialog opens with the focus on the name field.
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            auto* name = qobject_cast<QLineEdit*>(dialog.focusWidget());
            QVERIFY(name);
            // A folder is opened with Enter, then the name is typed into it.
            const QStringList parts = typed.split('/');
            for (const QString& part : parts) {
                if (&part != &parts.first()) QTest::keyClick(name, Qt::Key_Return);
                QTest::keyClicks(name, part);
                // A name the folder holds is offered for completion: Esc closes the offer.
                if (QWidget* offer = name->completer()->popup(); offer->isVisible()) {
                    QTest::keyClick(offer, Qt::Key_Escape);
                }
            }
            WhenModal([&](QDialog& box) {
                auto* question = qobject_cast<QMessageBox*>(&box);
                QVERIFY(question);
                boxText = question->text();
                QTest::mouseClick(
                    question->button(static_cast<QMessageBox::StandardButton>(answer)),
                    Qt::LeftButton);
            });
            QTest::keyClick(name, Qt::Key_Return);
            stillOpen = dialog.isVisible();
            if (stillOpen) QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_SAVE, 0, 0, 0, {}});
        QVERIFY2(boxText.contains(asked), qPrintable(boxText));
        QCOMPARE(stillOpen, !written);
        QVERIFY(m_boxes->Texts().isEmpty());
        QFile file(target);
        if (written) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.size(), 75);
            QVERIFY(!m_dlg->IsTableChanged());
        } else {
            QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(),
                     before.isEmpty() || before == "protected folder" ? QByteArray() : old);
            QVERIFY(m_dlg->IsTableChanged());
        }
        if (before == "protected folder") {
            QFile::setPermissions(m_dir->File("sealed"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    void aboutOpensFromTheMenuBarAndTheWindowMenu() {
        QStringList shown;
        const auto readAbout = [&shown](QDialog& about) {
            shown << about.objectName();
            for (const QLabel* label : about.findChildren<QLabel*>()) {
                if (label->text().isEmpty()) continue;
                shown << label->text();
                // The texts must fit the widths the dialog gives them.
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            }
            Control<QPushButton>(about, IDOK)->click();
        };
        const QStringList expected{"100", "Velmora Version 1.30", "© 2026 Velmora contributors"};

        auto* menuBar = Control<QMenuBar>(*m_dlg, IDR_MAIN_MENU);
        const QList<QAction*> topLevel = menuBar->actions();
        const auto about = std::find_if(topLevel.begin(), topLevel.end(), [](const QAction* a) {
            return a->text() == QStringLiteral("&About Velmora");
        });
        QVERIFY(about != topLevel.end());
        WhenModal(readAbout);
        (*about)->trigger();
        QTRY_COMPARE(shown, expected);

        QStringList windowMenu;
        m_dlg->SetPopupMenuHook([&windowMenu](QMenu& menu, const QPoint&) {
            for (const QAction* action : menu.actions()) windowMenu << action->text();
            return menu.objectName() == QStringLiteral("window") ? IDM_ABOUTBOX : 0;
        });
        shown.clear();
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        WhenModal(readAbout);
        QTest::keyClick(m_dlg.get(), Qt::Key_Space, Qt::AltModifier);
        QCOMPARE(windowMenu.last(), QStringLiteral("&About Velmora..."));
        QCOMPARE(shown, expected);
    }

    // No key reaches a button by chance, and with fifteen rows Enter is Send.
    void enterGoesToSendAndNeverToDstDeleteOrExit() {
        // COM1 cannot open: Send and DST Delete both end in that box at once,
        // but only Send prepares the fifteen frames first.
        QFile ini(m_dir->File("Velmora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Ports]\nCOM1=/nonexistent\n") > 0);
        ini.close();
        for (const bool withMouse : {true, false}) {
            Reopen();
            QVERIFY(!qobject_cast<QPushButton*>(m_dlg->focusWidget()));
            PressKey(*m_dlg, Qt::Key_Return);
            QVERIFY(m_dlg->isVisible());

            // Add is disabled under the focus by the fifteenth row.
            auto* add = Control<QPushButton>(*m_dlg, IDC_ADD);
            Control<QDateEdit>(*m_dlg, IDC_END_DATE)->setDate(QDate(2040, 10, 28));
            if (!withMouse) add->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < kMaxRows; ++i) {
                if (withMouse) QTest::mouseClick(add, Qt::LeftButton);
                if (!withMouse) PressKey(*m_dlg, Qt::Key_Space);
            }
            m_boxes->Clear();
            PressKey(*m_dlg, Qt::Key_Space);
            PressKey(*m_dlg, Qt::Key_Return);
            QVERIFY2(m_dlg->isVisible(), withMouse ? "mouse" : "keyboard");
            QCOMPARE(m_dlg->Upload().FrameList().size(), std::size_t{kMaxRows});
            QCOMPARE(m_boxes->Texts(), QStringList{"Unable to open serial port!"});
        }
    }

    // Tab leaves the full list for Send at once, and Shift+Tab comes back;
    // inside the list the arrows walk the rows.
    void tabLeavesTheListAndArrowsWalkItsRows() {
        FillTable(*m_dlg);
        auto* list = Control<QTableWidget>(*m_dlg, IDC_DATE_LIST);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->viewport()->rect().center());
        QCOMPARE(m_dlg->focusWidget(), list);
        const int clicked = list->currentRow();
        QVERIFY(clicked >= 0 && clicked < kMaxRows - 1);
        PressKey(*m_dlg, Qt::Key_Down);
        QCOMPARE(list->currentRow(), clicked + 1);
        PressKey(*m_dlg, Qt::Key_Tab);
        QCOMPARE(m_dlg->focusWidget(), Control<QPushButton>(*m_dlg, IDC_SEND));
        PressKey(*m_dlg, Qt::Key_Backtab);
        QCOMPARE(m_dlg->focusWidget(), list);
        QCOMPARE(list->currentRow(), clicked + 1);
    }

    void pickersTakeOnlyYearsTheFileCanHold() {
        auto* picker = Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE);
        for (const auto& [from, key, to] :
             {std::tuple{2098, Qt::Key_Up, 2099}, std::tuple{2001, Qt::Key_Down, 2000}}) {
            picker->setDate(QDate(from, 6, 15));
            picker->setCurrentSection(QDateTimeEdit::YearSection);
            for (int i = 0; i < 3; ++i) QTest::keyClick(picker, key);
            QCOMPARE(picker->date(), QDate(to, 6, 15));
        }
    }

    // A dialog opened from the menu bar with Alt, arrows and Enter gives the
    // focus back, so the keys go on working.
    void menuBarCommandsGiveTheFocusBack() {
        auto* begin = Control<QDateEdit>(*m_dlg, IDC_BEGIN_DATE);
        QCOMPARE(m_dlg->focusWidget(), begin);
        bool settingsShown = false;
        WhenModal([&](QDialog& settings) {
            settingsShown = settings.objectName() == QString::number(IDD_SETTINGS);
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
        const auto escape = [this] { PressKey(*m_dlg, Qt::Key_Escape); };
        // Emptied: closes at once.
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        m_dlg->Dispatch({MsgKind::Command, ID_POPUP_DELETE_ALL, 0, 0, 0, {}});
        QVERIFY(!AskedDuring(escape));
        QVERIFY(!m_dlg->isVisible());

        // A typed row: Esc asks, and Esc in the question goes back.
        Reopen();
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        WhenModal([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
        escape();
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(m_dlg->Rows().size(), std::size_t{1});
        // Exit, then "Close without saving".
        WhenModal([](QDialog& box) {
            for (QPushButton* button : box.findChildren<QPushButton*>()) {
                if (button->text() == "Close &without saving") {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
            }
        });
        QTest::mouseClick(Control<QPushButton>(*m_dlg, IDCANCEL), Qt::LeftButton);
        QVERIFY(!m_dlg->isVisible());

        // The close box, then Enter: Save.
        Reopen();
        FillTable(*m_dlg);
        m_chosenFile = m_dir->File("kept.dst");
        WhenModal([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
        m_dlg->close();
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(QFileInfo(*m_chosenFile).size(), 75);

        // Typed rows replaced by a file and unchanged since: no question.
        Reopen();
        AddRow(*m_dlg, QDate(2031, 3, 30), QDate(2031, 10, 26));
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        QCOMPARE(m_dlg->Rows().size(), std::size_t{kMaxRows});
        QVERIFY(!AskedDuring(escape));
        QVERIFY(!m_dlg->isVisible());
    }

  private:
    // A new main window, active as at start-up, whose file dialogs take m_chosenFile.
    void Reopen() {
        m_dlg = OpenMainDlg();
        m_dlg->SetFileDialogHook([this](CMainDlg::FileDialogKind kind) {
            m_asked << (kind == CMainDlg::FileDialogKind::Open ? "open" : "save");
            return m_chosenFile;
        });
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
    }
    void SaveTo(const QString& name) {
        m_chosenFile = m_dir->File(name);
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_SAVE, 0, 0, 0, {}});
    }
    void OpenFrom(const QString& name) {
        m_chosenFile = m_dir->File(name);
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
    }

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<CMainDlg> m_dlg;
    std::optional<QString> m_chosenFile;
    QStringList m_asked;
};

QTEST_MAIN(MainDlgTest)
#include "MainDlgTest.moc"
