#include "MainDlgUi.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>
#include <utility>

#include "DateList.h"
#include "DialogUnits.h"
#include "Resources.h"

namespace velmora {
namespace {

QAction* AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    return action;
}

}  // namespace

MainDlgUi::MainDlgUi(QDialog& window, std::function<void(const DlgMessage&)> dispatch)
    : m_dispatch(std::move(dispatch)) {
    CreateControls(window);
    CreateMenuBar(window);
}

void MainDlgUi::CreateControls(QDialog& window) {
    const QFont font = DialogFont();
    window.setFont(font);
    auto* client = new QWidget(&window);
    client->setFixedSize(DialogUnitsToPixels(font, 0, 0, 232, 211).size());
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(client);

    const auto makeButton = [&](const QString& text, int id, int x, int y, int w, int h) {
        auto* button = new QPushButton(text, client);
        PlaceControl(button, id, font, x, y, w, h);
        QObject::connect(button, &QAbstractButton::clicked, &window, [this, id] {
            m_dispatch({MsgKind::Command, id, BN_CLICKED, 0, 0, {}});
        });
        return button;
    };
    sendButton = makeButton(QStringLiteral("Send"), IDC_SEND, 165, 15, 50, 14);
    sendButton->setDefault(true);
    sendButton->setEnabled(false);
    QPushButton* exit = makeButton(QStringLiteral("Exit"), IDCANCEL, 165, 158, 50, 14);
    addButton = makeButton(QStringLiteral("Add"), IDC_ADD, 165, 38, 50, 15);
    QPushButton* dstDelete =
        makeButton(QStringLiteral("DST Delete"), IDC_DST_DELETE, 165, 63, 50, 15);

    dateList = new DateList(font, client);
    PlaceControl(dateList, IDC_DATE_LIST, font, 20, 34, 120, 144);

    const auto addPicker = [&](int id, int x, const QString& name) {
        auto* picker = new QDateEdit(client);
        PlaceControl(picker, id, font, x, 10, 55, 15);
        picker->setAccessibleName(name);
        picker->setCalendarPopup(true);
        picker->setTimeSpec(Qt::UTC);
        // A record keeps only the last two digits of the year.
        picker->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
        return picker;
    };
    beginPicker = addPicker(IDC_BEGIN_DATE, 20, QStringLiteral("DST begins"));
    endPicker = addPicker(IDC_END_DATE, 85, QStringLiteral("DST ends"));

    const auto addCounter = [&](int id, int x, const QString& name) {
        auto* edit = new QLineEdit(client);
        PlaceControl(edit, id, font, x, 190, 35, 10);
        edit->setAccessibleName(name);
        edit->setReadOnly(true);
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        return edit;
    };
    rowCountEdit = addCounter(IDC_ROW_COUNT, 25, QStringLiteral("Rows"));
    progressEdit = addCounter(IDC_PROGRESS, 80, QStringLiteral("Progress"));

    // Tab walks from the dates to Add, the list and the commands; the two
    // buttons that end something come last, then the counters. Set once every
    // control exists, so that none created later lands inside the walk.
    QWidget* const tabOrder[] = {beginPicker, endPicker, addButton,    dateList,    sendButton,
                                 dstDelete,   exit,      rowCountEdit, progressEdit};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
}

void MainDlgUi::CreateMenuBar(QDialog& window) {
    auto* menuBar = new QMenuBar(&window);
    menuBar->setObjectName(QString::number(IDR_MAIN_MENU));
    // Each with its Alt key: no style of Linux's opens the bar with Alt alone,
    // and without them a keyboard could reach no command of the menus there.
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    AddCommand(file, QStringLiteral("&Open"), ID_FILE_OPEN);
    AddCommand(file, QStringLiteral("&Save"), ID_FILE_SAVE);
    AddCommand(file, QStringLiteral("&New from Time Zone..."), ID_FILE_NEW_FROM_ZONE);
    AddCommand(file, QStringLiteral("Upload &History..."), ID_FILE_UPLOAD_HISTORY);
    file->addSeparator();
    AddCommand(file, QStringLiteral("E&xit"), IDCANCEL);
    for (const auto& [text, id] : {std::pair{QStringLiteral("&Settings"), ID_SETTINGS},
                                   std::pair{QStringLiteral("&About Velmora"), ID_ABOUT}}) {
        menuBar->addAction(text)->setData(id);
    }
    // A command runs once the menu bar has finished with the key or click that
    // chose it: a dialog it opens must not find the bar still holding the
    // keyboard, which would leave the window without a focus afterwards.
    QObject::connect(
        menuBar, &QMenuBar::triggered, &window,
        [this](QAction* action) {
            m_dispatch({MsgKind::Command, action->data().toInt(), 0, 0, 0, {}});
        },
        Qt::QueuedConnection);
    window.layout()->setMenuBar(menuBar);
}

void MainDlgUi::SetDateOrder(DateOrder order) {
    const QString format =
        IsMonthFirst(order) ? QStringLiteral("MM/dd/yyyy") : QStringLiteral("dd/MM/yyyy");
    // A screen reader tells the order of the date's parts.
    const QString description = IsMonthFirst(order) ? QStringLiteral("Date as MM/DD/YYYY")
                                                    : QStringLiteral("Date as DD/MM/YYYY");
    for (QDateEdit* picker : {beginPicker, endPicker}) {
        picker->setDisplayFormat(format);
        picker->setAccessibleDescription(description);
    }
    SetPickersToNow();
}

void MainDlgUi::SetPickersToNow() {
    // The current time in whole seconds, as both pickers get it together.
    const QDateTime now =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    beginPicker->setDateTime(now);
    endPicker->setDateTime(now);
}

void MainDlgUi::EnableButton(QPushButton* button, bool enable) {
    // Enter in the list goes to the default button.
    if (!enable && button->window()->focusWidget() == button) {
        dateList->setFocus(Qt::OtherFocusReason);
    }
    button->setEnabled(enable);
}

void MainDlgUi::FillWindowMenu(QMenu& menu) {
    menu.setObjectName(QStringLiteral("window"));
    AddCommand(&menu, QStringLiteral("Mi&nimize"), SC_MINIMIZE);
    AddCommand(&menu, QStringLiteral("&Close"), SC_CLOSE);
    menu.addSeparator();
    AddCommand(&menu, QString::fromLatin1(kAboutMenuText), IDM_ABOUTBOX);
}

void MainDlgUi::FillPopupMenu(QMenu& menu, int rows, bool hasSelection) {
    menu.setObjectName(QString::number(IDR_POPUP_MENU));
    QAction* add = AddCommand(&menu, QStringLiteral("Add"), ID_POPUP_ADD);
    menu.addSeparator();
    QAction* remove = AddCommand(&menu, QStringLiteral("Delete"), ID_POPUP_DELETE);
    QAction* removeAll = AddCommand(&menu, QStringLiteral("Delete all"), ID_POPUP_DELETE_ALL);
    removeAll->setEnabled(rows > 0);
    remove->setEnabled(rows > 0 && hasSelection);
    add->setEnabled(rows < kMaxRows);
}

}  // namespace velmora
