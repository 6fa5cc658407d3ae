#include "MainDlg.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "AboutDlg.h"
#include "DateFile.h"
#include "DialogUnits.h"
#include "MessageBox.h"
#include "Resources.h"
#include "SaveFileDlg.h"
#include "Settings.h"
#include "SettingsDlg.h"
#include "ZoneDlg.h"

// The resources live in a static library; register them before the first use.
static void InitVelmoraResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {
namespace {

static_assert(ID_REPLY_TIMER == kReplyTimerId);

const QString kAppTitle = QStringLiteral("Velmora");
const QString kFileFilter = QStringLiteral("Velmora File (*.dst)");

// The current time in whole seconds, as both pickers get it together.
QDateTime CurrentUtcSeconds() {
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
}

// File names travel as UTF-8 on every system; the file code converts them to
// what the system's own calls take.
std::string LocalPath(const QString& path) {
    return path.toUtf8().toStdString();
}

QAction* AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    return action;
}

}  // namespace

CMainDlg::CMainDlg(Options options) : m_options(std::move(options)), m_exchange(*this) {
    InitVelmoraResources();
    m_hIcon = QIcon(kIconResource);
    setObjectName(QString::number(IDD_MAIN_DIALOG));
    // The program's own window: a title with the window menu, minimize and
    // close boxes, and no maximize box (the size is fixed).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(kAppTitle);
    CreateControls();
    CreateMenuBar();
}

CMainDlg::~CMainDlg() {
    // End an exchange while this object can still show what it meets.
    m_exchange.Stop();
}

void CMainDlg::CreateControls() {
    const QFont font = DialogFont();
    setFont(font);
    auto* client = new QWidget(this);
    client->setFixedSize(DialogUnitsToPixels(font, 0, 0, 232, 211).size());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(client);

    const auto addButton = [&](const QString& text, int id, int x, int y, int w, int h) {
        auto* button = new QPushButton(text, client);
        PlaceControl(button, id, font, x, y, w, h);
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            Dispatch({MsgKind::Command, id, BN_CLICKED, 0, 0, {}});
        });
        return button;
    };
    m_sendButton = addButton(QStringLiteral("Send"), IDC_SEND, 165, 15, 50, 14);
    m_sendButton->setDefault(true);
    m_sendButton->setEnabled(false);
    QPushButton* exit = addButton(QStringLiteral("Exit"), IDCANCEL, 165, 158, 50, 14);
    m_addButton = addButton(QStringLiteral("Add"), IDC_ADD, 165, 38, 50, 15);
    QPushButton* dstDelete =
        addButton(QStringLiteral("DST Delete"), IDC_DST_DELETE, 165, 63, 50, 15);

    m_dateList = new QTableWidget(client);
    PlaceControl(m_dateList, IDC_DATE_LIST, font, 20, 34, 120, 144);
    m_dateList->setAccessibleName(QStringLiteral("DST table"));
    m_dateList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_dateList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dateList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_dateList->setShowGrid(true);
    // Tab goes on to the next control, as from every other one; the arrows
    // walk the rows.
    m_dateList->setTabKeyNavigation(false);
    // The two columns fill the list; the vertical scroll bar of a full table
    // must not add a horizontal one for the few pixels it takes.
    m_dateList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_dateList->verticalHeader()->hide();
    m_dateList->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    m_dateList->horizontalHeader()->setSectionsClickable(false);

    const auto addPicker = [&](int id, int x) {
        auto* picker = new QDateEdit(client);
        PlaceControl(picker, id, font, x, 10, 55, 15);
        picker->setCalendarPopup(true);
        picker->setTimeSpec(Qt::UTC);
        // A record keeps only the last two digits of the year.
        picker->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
        return picker;
    };
    m_beginPicker = addPicker(IDC_BEGIN_DATE, 20);
    m_beginPicker->setAccessibleName(QStringLiteral("DST begins"));
    m_endPicker = addPicker(IDC_END_DATE, 85);
    m_endPicker->setAccessibleName(QStringLiteral("DST ends"));

    const auto addCounter = [&](int id, int x) {
        auto* edit = new QLineEdit(client);
        PlaceControl(edit, id, font, x, 190, 35, 10);
        edit->setReadOnly(true);
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        return edit;
    };
    m_rowCountEdit = addCounter(IDC_ROW_COUNT, 25);
    m_rowCountEdit->setAccessibleName(QStringLiteral("Rows"));
    m_progressEdit = addCounter(IDC_PROGRESS, 80);
    m_progressEdit->setAccessibleName(QStringLiteral("Progress"));

    // Tab walks from the dates to Add, the list and the commands; the two
    // buttons that end something come last, then the counters. Set once every
    // control exists, so that none created later lands inside the walk.
    QWidget* const tabOrder[] = {m_beginPicker, m_endPicker,    m_addButton,
                                 m_dateList,    m_sendButton,   dstDelete,
                                 exit,          m_rowCountEdit, m_progressEdit};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
}

void CMainDlg::CreateMenuBar() {
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QString::number(IDR_MAIN_MENU));
    // Each with its Alt key: no style of Linux's opens the bar with Alt alone,
    // and without them a keyboard could reach no command of the menus there.
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    AddCommand(file, QStringLiteral("&Open"), ID_FILE_OPEN);
    AddCommand(file, QStringLiteral("&Save"), ID_FILE_SAVE);
    AddCommand(file, QStringLiteral("&New from Time Zone..."), ID_FILE_NEW_FROM_ZONE);
    file->addSeparator();
    AddCommand(file, QStringLiteral("E&xit"), IDCANCEL);
    for (const auto& [text, id] : {std::pair{QStringLiteral("&Settings"), ID_SETTINGS},
                                   std::pair{QStringLiteral("&About Velmora"), ID_ABOUT}}) {
        menuBar->addAction(text)->setData(id);
    }
    // A command runs once the menu bar has finished with the key or click that
    // chose it: a dialog it opens must not find the bar still holding the
    // keyboard, which would leave the window without a focus afterwards.
    connect(
        menuBar, &QMenuBar::triggered, this,
        [this](QAction* action) {
            Dispatch({MsgKind::Command, action->data().toInt(), 0, 0, 0, {}});
        },
        Qt::QueuedConnection);
    layout()->setMenuBar(menuBar);
}

int CMainDlg::DoModal() {
    OnInitDialog();
    if (!m_options.startFile.isEmpty()) {
        QTimer::singleShot(0, this, [this] { OpenDateFile(m_options.startFile); });
    }
    return exec();
}

void CMainDlg::OnInitDialog() {
    if (m_options.showBanner) RunStartupBanner(m_splash);
    DoDataExchange(false);
    // The window manager owns the real window menu; ours opens on Alt+Space.
    auto* windowMenuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(windowMenuKey, &QShortcut::activated, this, &CMainDlg::ShowSystemMenu);
    setWindowIcon(m_hIcon);
    const QString settingsFolder =
        m_options.settingsFolder.isEmpty() ? QDir::currentPath() : m_options.settingsFolder;
    m_strProfilePath =
        QString::fromStdString(ProfilePathIn(LocalPath(QDir::toNativeSeparators(settingsFolder))));
    CreateListColumns();
    ReadSettings();
    ApplyDateOrderToPickers();
    // The window opens with the focus on the first date, so that Enter goes to
    // the default button, Send, and no key press reaches a button by chance.
    m_beginPicker->setFocus(Qt::OtherFocusReason);
}

void CMainDlg::CreateListColumns() {
    m_dateList->setColumnCount(2);
    const int width = m_dateList->width() / 2 - 2;
    int column = 0;
    for (const QString& title : {QStringLiteral("DST begins"), QStringLiteral("DST ends")}) {
        auto* header = new QTableWidgetItem(title);
        header->setTextAlignment(Qt::AlignCenter);
        m_dateList->setHorizontalHeaderItem(column, header);
        m_dateList->setColumnWidth(column++, width);
    }
}

void CMainDlg::ReadSettings() {
    const Profile profile(LocalPath(m_strProfilePath));
    const Settings stored = velmora::ReadSettings(profile);
    m_strDevices = ReadComPortPaths(profile);
    m_nPort = stored.port;
    m_nTimeout = stored.timeoutMs;
    m_nDateOrder = stored.dateOrder;
    m_bJudgeAtOnce = stored.earlyJudgement;
    ApplyJudgement();
}

// The same rule as velmora-cli's --early; off, the reply timer alone judges.
void CMainDlg::ApplyJudgement() {
    m_exchange.SetEarlyJudgement(m_bJudgeAtOnce ? std::optional<int>(kDefaultQuietGapMs)
                                                : std::nullopt);
}

void CMainDlg::ApplyDateOrderToPickers() {
    const QString format =
        IsMonthFirst(m_nDateOrder) ? QStringLiteral("MM/dd/yyyy") : QStringLiteral("dd/MM/yyyy");
    m_beginPicker->setDisplayFormat(format);
    m_endPicker->setDisplayFormat(format);
    // A screen reader tells the order of the date's parts.
    const QString order = IsMonthFirst(m_nDateOrder) ? QStringLiteral("Date as MM/DD/YYYY")
                                                     : QStringLiteral("Date as DD/MM/YYYY");
    m_beginPicker->setAccessibleDescription(order);
    m_endPicker->setAccessibleDescription(order);
    SetPickersToNow();
}

void CMainDlg::SetPickersToNow() {
    const QDateTime now = CurrentUtcSeconds();
    m_beginPicker->setDateTime(now);
    m_endPicker->setDateTime(now);
}

void CMainDlg::DoDataExchange(bool save) {
    if (save) {
        m_nRowCount = m_rowCountEdit->text().toInt();
        m_beginDate = m_beginPicker->dateTime();
        m_endDate = m_endPicker->dateTime();
        return;
    }
    m_rowCountEdit->setText(QString::number(m_nRowCount));
    // Before the first reading the members hold no date; the pickers keep theirs.
    if (m_beginDate.isValid()) m_beginPicker->setDateTime(m_beginDate);
    if (m_endDate.isValid()) m_endPicker->setDateTime(m_endDate);
    m_progressEdit->setText(QString::number(Upload().Progress()));
}

std::optional<long> CMainDlg::Dispatch(const DlgMessage& message) {
    using Route = MessageRoute<CMainDlg>;
    static const Route kRoutes[] = {
        {MsgKind::SysCommand, kAnyId, 0,
         [](CMainDlg& dlg, const DlgMessage& m) -> long {
             dlg.OnSysCommand(m.id);
             return 0;
         }},
        {MsgKind::Command, IDC_ADD, BN_CLICKED, &CMainDlg::Call<&CMainDlg::OnAdd>},
        {MsgKind::Command, IDC_DST_DELETE, BN_CLICKED, &CMainDlg::Call<&CMainDlg::OnDstDelete>},
        {MsgKind::Command, IDC_SEND, BN_CLICKED, &CMainDlg::Call<&CMainDlg::OnSend>},
        {MsgKind::Command, ID_ABOUT, 0, &CMainDlg::Call<&CMainDlg::OnAbout>},
        {MsgKind::Command, ID_FILE_OPEN, 0, &CMainDlg::Call<&CMainDlg::OnFileOpen>},
        {MsgKind::Command, ID_FILE_SAVE, 0, &CMainDlg::Call<&CMainDlg::OnFileSave>},
        {MsgKind::Command, ID_FILE_NEW_FROM_ZONE, 0, &CMainDlg::Call<&CMainDlg::OnFileNewFromZone>},
        {MsgKind::Command, ID_SETTINGS, 0, &CMainDlg::Call<&CMainDlg::OnSettings>},
        {MsgKind::Command, ID_POPUP_DELETE, 0, &CMainDlg::Call<&CMainDlg::OnDelete>},
        {MsgKind::Command, ID_POPUP_DELETE_ALL, 0, &CMainDlg::Call<&CMainDlg::OnDeleteAll>},
        {MsgKind::ContextMenu, kAnyId, 0,
         [](CMainDlg& dlg, const DlgMessage& m) -> long {
             dlg.OnContextMenu(m.point);
             return 0;
         }},
        {MsgKind::Command, ID_POPUP_ADD, 0, &CMainDlg::Call<&CMainDlg::OnAdd>},
        {MsgKind::Timer, kAnyId, 0,
         [](CMainDlg& dlg, const DlgMessage& m) -> long {
             dlg.OnTimer(m.id);
             return 0;
         }},
        {MsgKind::Message, static_cast<int>(WM_LINK_RXCHAR), 0,
         [](CMainDlg& dlg, const DlgMessage& m) { return dlg.OnLinkRxChar(m.wParam, m.lParam); }},
    };
    const std::optional<long> result = RouteMessage(kRoutes, *this, message);
    if (!result) DefaultProcessing(message);
    return result;
}

void CMainDlg::DefaultProcessing(const DlgMessage& message) {
    if (message.kind == MsgKind::Command && message.id == IDCANCEL) {
        reject();
    } else if (message.kind == MsgKind::SysCommand) {
        if ((message.id & 0xFFF0) == SC_MINIMIZE) showMinimized();
        if ((message.id & 0xFFF0) == SC_CLOSE) close();
    }
}

void CMainDlg::ShowSystemMenu() {
    QMenu menu;
    menu.setObjectName(QStringLiteral("window"));
    AddCommand(&menu, QStringLiteral("Mi&nimize"), SC_MINIMIZE);
    AddCommand(&menu, QStringLiteral("&Close"), SC_CLOSE);
    menu.addSeparator();
    AddCommand(&menu, QString::fromLatin1(kAboutMenuText), IDM_ABOUTBOX);
    if (const int id = TrackPopupMenu(menu, mapToGlobal(QPoint(0, 0)))) {
        Dispatch({MsgKind::SysCommand, id, 0, 0, 0, {}});
    }
}

int CMainDlg::TrackPopupMenu(QMenu& menu, const QPoint& at) {
    if (m_popupMenu) return m_popupMenu(menu, at);
    const QAction* chosen = menu.exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

void CMainDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
    } else {
        DefaultProcessing({MsgKind::SysCommand, id, 0, 0, 0, {}});
    }
}

void CMainDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

// ---- The date table ------------------------------------------------------

std::vector<DstRow> CMainDlg::Rows() const {
    std::vector<DstRow> rows;
    for (int r = 0; r < m_dateList->rowCount(); ++r) {
        const auto text = [&](int column) {
            const QTableWidgetItem* item = m_dateList->item(r, column);
            return item ? item->text().toStdString() : std::string();
        };
        rows.push_back({text(0), text(1)});
    }
    return rows;
}

void CMainDlg::AppendRow(const DstRow& row) {
    const int r = m_dateList->rowCount();
    m_dateList->insertRow(r);
    int column = 0;
    for (const std::string& text : {row.begin, row.end}) {
        auto* item = new QTableWidgetItem(QString::fromStdString(text));
        item->setTextAlignment(Qt::AlignCenter);
        m_dateList->setItem(r, column++, item);
    }
}

void CMainDlg::ReplaceRows(const std::vector<DstRow>& rows) {
    m_dateList->setRowCount(0);
    for (const DstRow& row : rows) AppendRow(row);
}

void CMainDlg::UpdateRowCount() {
    m_nRowCount = m_dateList->rowCount();
}

void CMainDlg::AfterRowsRemoved() {
    SetTableChanged(true);
    UpdateRowCount();
    RefreshControls();
    if (m_nRowCount < kMaxRows) {
        EnableButton(m_addButton, true);
        EnableButton(m_sendButton, false);
    }
}

void CMainDlg::EnableButton(QPushButton* button, bool enable) {
    // The list takes the focus instead: Enter there goes to the default button.
    if (!enable && focusWidget() == button) m_dateList->setFocus(Qt::OtherFocusReason);
    button->setEnabled(enable);
}

void CMainDlg::OnAdd() {
    DoDataExchange(true);
    // Both pickers are always set together, so equal values mean the same date.
    if (m_beginDate == m_endDate) {
        AfxMessageBox(QStringLiteral("Check date!"), MB_OK);
        return;
    }
    const auto text = [this](const QDateTime& value) {
        const QDate date = value.date();
        return ComposeDateText(date.day(), date.month(), date.year(), m_nDateOrder);
    };
    AppendRow({text(m_beginDate), text(m_endDate)});
    SetTableChanged(true);
    m_dateList->scrollToBottom();
    UpdateRowCount();
    if (m_nRowCount == kMaxRows) {
        EnableButton(m_sendButton, true);
        EnableButton(m_addButton, false);
    }
    RefreshControls();
}

void CMainDlg::OnDelete() {
    const QModelIndexList selected = m_dateList->selectionModel()->selectedRows();
    if (!selected.isEmpty()) m_dateList->removeRow(selected.first().row());
    AfterRowsRemoved();
}

void CMainDlg::OnDeleteAll() {
    m_dateList->setRowCount(0);
    AfterRowsRemoved();
    SetTitle(kAppTitle);
}

void CMainDlg::OnContextMenu(const QPoint& at) {
    const QRect list(m_dateList->mapToGlobal(QPoint(0, 0)), m_dateList->size());
    // Strictly inside: the list's left column and top row of pixels do not count.
    const bool inside = at.x() > list.x() && at.x() < list.x() + list.width() &&
                        at.y() > list.y() && at.y() < list.y() + list.height();
    if (!inside) return;

    QMenu popup;
    popup.setObjectName(QString::number(IDR_POPUP_MENU));
    QAction* add = AddCommand(&popup, QStringLiteral("Add"), ID_POPUP_ADD);
    popup.addSeparator();
    QAction* remove = AddCommand(&popup, QStringLiteral("Delete"), ID_POPUP_DELETE);
    QAction* removeAll = AddCommand(&popup, QStringLiteral("Delete all"), ID_POPUP_DELETE_ALL);
    const int rows = m_dateList->rowCount();
    if (rows == 0) {
        removeAll->setEnabled(false);
        remove->setEnabled(false);
    }
    if (rows >= kMaxRows) add->setEnabled(false);
    if (!m_dateList->selectionModel()->hasSelection()) remove->setEnabled(false);

    if (const int id = TrackPopupMenu(popup, at)) Dispatch({MsgKind::Command, id, 0, 0, 0, {}});
}

void CMainDlg::ReorderRows() {
    // The upload keeps its own frames, so rewriting the texts never touches them.
    ReplaceRows(velmora::ReorderRows(Rows()));
    UpdateRowCount();
    RefreshControls();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    Dispatch({MsgKind::ContextMenu, 0, 0, 0, 0, event->globalPos()});
}

// ---- Settings ------------------------------------------------------------

void CMainDlg::OnSettings() {
    CSettingsDlg settings(this);
    settings.m_nTimeout = m_nTimeout;
    settings.m_nPort = m_nPort;
    settings.m_nDateOrder = m_nDateOrder;
    settings.m_nDateOrderOnEntry = m_nDateOrder;
    settings.m_bJudgeAtOnce = m_bJudgeAtOnce;
    settings.m_roots = m_serialRoots;
    settings.m_strDevices = m_strDevices;
    settings.m_strDevicesOnEntry = m_strDevices;
    if (settings.DoModal() != IDOK) return;

    // The values apply whether or not the profile could be written; a failed
    // write is told once, after they apply.
    Profile profile(LocalPath(m_strProfilePath));
    bool written = WriteSettings(profile, {settings.m_nPort, settings.m_nTimeout,
                                           settings.m_nDateOrder, settings.m_bJudgeAtOnce});
    written =
        WriteComPortPaths(profile, settings.m_strDevices, settings.m_strDevicesOnEntry) && written;
    // An emptied Device field stands for the port's default device.
    for (int port = 1; port <= kComPortCount; ++port) {
        std::string& path = settings.m_strDevices[static_cast<std::size_t>(port - 1)];
        if (path.empty()) path = DefaultComPortPath(port);
    }
    m_strDevices = settings.m_strDevices;
    m_nTimeout = settings.m_nTimeout;
    m_nPort = settings.m_nPort;
    m_nDateOrder = settings.m_nDateOrder;
    if (settings.m_bJudgeAtOnce != m_bJudgeAtOnce) {
        m_bJudgeAtOnce = settings.m_bJudgeAtOnce;
        ApplyJudgement();
    }
    ApplyDateOrderToPickers();
    // The stored values are compared, not their day-first or month-first meaning.
    if (settings.m_nDateOrderOnEntry != settings.m_nDateOrder && m_dateList->rowCount() >= 1) {
        ReorderRows();
    }
    if (!written) {
        AfxMessageBox(QStringLiteral("Unable to save the settings!"), MB_OK,
                      QStringLiteral("%1: %2.\nYour choices hold until Velmora ends.")
                          .arg(m_strProfilePath, QString::fromStdString(profile.WriteError())));
    }
}

// ---- The date file -------------------------------------------------------

std::optional<QString> CMainDlg::AskForFile(FileDialogKind kind) {
    if (m_fileDialog) return m_fileDialog(kind);
    if (kind == FileDialogKind::Save) {
        CSaveFileDlg dialog(this, kFileFilter);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().first();
    }
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), kFileFilter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

void CMainDlg::SetTitle(const QString& title) {
    setWindowTitle(title);
}

void CMainDlg::OnFileOpen() {
    OpenDateFile(AskForFile(FileDialogKind::Open));
}

void CMainDlg::OpenDateFile(const std::optional<QString>& path) {
    // The file is read and checked before the table is touched, so a file that
    // cannot be used leaves the table, the title and the buttons as they were.
    if (path) {
        DateFileBytes bytes{};
        if (ReadDateFile(LocalPath(*path), bytes)) {
            ReplaceRows(FileBytesToRows(bytes, m_nDateOrder));
            SetTableChanged(false);
            SetTitle(kAppTitle + QStringLiteral(" - ") + QFileInfo(*path).fileName());
            EnableButton(m_addButton, false);
        } else {
            AfxMessageBox(QStringLiteral("Unable to read file!"), MB_OK | MB_ICONERROR);
        }
    }
    SetPickersToNow();
    DoDataExchange(true);
    UpdateRowCount();
    EnableButton(m_sendButton, m_nRowCount >= kMaxRows);
    RefreshControls();
}

void CMainDlg::OnFileSave() {
    SaveTable();
}

bool CMainDlg::SaveTable() {
    if (m_dateList->rowCount() < kMaxRows) {
        AfxMessageBox(QStringLiteral("Insert 15 dates"), MB_OK);
        return false;
    }
    const std::optional<QString> path = AskForFile(FileDialogKind::Save);
    if (!path) return false;
    // The dialog asked about the name as chosen and refused a read-only file; a
    // name extended with ".dst" is written without a further question. A
    // read-only file is not replaced even then.
    const std::string file = WithDstSuffix(LocalPath(*path));
    ReplaceFailure failure;
    if (!WriteDateFile(file, RowsToFileBytes(Rows(), m_nDateOrder), &failure)) {
        // Why, and where the tables are when neither could be put under the name.
        QString details = QString::fromStdString(file + ": " + failure.reason + ".");
        if (!failure.newFile.empty()) {
            details += QString::fromStdString("\nThe new table is in " + failure.newFile +
                                              (failure.oldFile.empty()
                                                   ? std::string(".")
                                                   : ", the old one in " + failure.oldFile + "."));
        }
        AfxMessageBox(QStringLiteral("Unable to write file!"), MB_OK | MB_ICONERROR, details);
        return false;
    }
    SetTableChanged(false);
    return true;
}

// The dialog refuses choices that give no table, so the table changes only on
// OK, and then it holds fifteen rows, as after Add had filled it.
void CMainDlg::OnFileNewFromZone() {
    CZoneDlg zones(m_nDateOrder, this);
    if (zones.DoModal() != IDOK) return;
    ReplaceRows(zones.Rows());
    m_dateList->scrollToTop();
    UpdateRowCount();
    EnableButton(m_sendButton, m_nRowCount >= kMaxRows);
    EnableButton(m_addButton, m_nRowCount < kMaxRows);
    RefreshControls();
    SetTitle(kAppTitle);
    SetTableChanged(true);
}

// ---- The upload and the serial link ---------------------------------------

void CMainDlg::OnSend() {
    m_exchange.Send();
}

void CMainDlg::OnDstDelete() {
    m_exchange.DstDelete();
}

void CMainDlg::OnTimer(int id) {
    m_exchange.OnTimer(id);
}

long CMainDlg::OnLinkRxChar(std::uintptr_t wParam, std::intptr_t lParam) {
    return m_exchange.OnLinkRxChar(wParam, lParam);
}

// The exchange's timers and link messages enter the window through its
// routing table, as every other message does.
void CMainDlg::DeliverTimer(ExchangeController&, int id) {
    Dispatch({MsgKind::Timer, id, 0, 0, 0, {}});
}

void CMainDlg::DeliverLinkMessage(ExchangeController&, const LinkMessage& message) {
    Dispatch({MsgKind::Message,
              static_cast<int>(message.message),
              0,
              message.wParam,
              message.lParam,
              {}});
}

std::string CMainDlg::DevicePath(int portNumber) const {
    return ComPortPathOf(m_strDevices, portNumber);
}

void CMainDlg::RefreshControls() {
    DoDataExchange(false);
}

void CMainDlg::ShowBox(Outcome outcome, const std::string& details) {
    AfxMessageBox(
        QString::fromUtf8(OutcomeText(outcome)),
        MB_OK | (OutcomeIcon(outcome) == BoxIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION),
        QString::fromStdString(details));
}

std::vector<DstRecord> CMainDlg::ReadRecords() {
    std::vector<DstRecord> records;
    for (const DstRow& row : Rows()) records.push_back(RowToRecord(row, m_nDateOrder));
    return records;
}

void CMainDlg::ShowLinkError(const std::string& text) {
    ShowErrorBox(QStringLiteral("Application Error"), QString::fromStdString(text));
}

void CMainDlg::reject() {
    // An empty table, or one as it was opened or saved, closes at once.
    if (m_bTableChanged && m_dateList->rowCount() > 0) {
        switch (AskSaveBeforeClosing(this)) {
            case SaveChoice::Save:
                if (!SaveTable()) return;
                break;
            case SaveChoice::CloseWithoutSaving:
                break;
            case SaveChoice::GoBack:
                return;
        }
    }
    QDialog::reject();
}

void CMainDlg::done(int result) {
    // Closing during an exchange ends it quietly: no expiry, no more bytes.
    m_exchange.Stop();
    QDialog::done(result);
}

}  // namespace velmora
