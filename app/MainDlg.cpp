#include "MainDlg.h"

#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <utility>

#include "AboutDlg.h"
#include "DateList.h"
#include "MessageBox.h"
#include "Resources.h"
#include "SettingsDlg.h"

// The resources live in a static library; register them before the first use.
static void InitVelmoraResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {
namespace {

static_assert(ID_REPLY_TIMER == kReplyTimerId);

// File names travel as UTF-8 on every system; the file code converts them to
// what the system's own calls take.
std::string LocalPath(const QString& path) {
    return path.toUtf8().toStdString();
}

}  // namespace

CMainDlg::CMainDlg(Options options)
    : m_options(std::move(options)),
      m_ui(*this, [this](const DlgMessage& message) { Dispatch(message); }),
      m_document(*this, *m_ui.dateList),
      m_exchange(*this) {
    InitVelmoraResources();
    m_hIcon = QIcon(kIconResource);
    setObjectName(QString::number(IDD_MAIN_DIALOG));
    // The program's own window: a title with the window menu, minimize and
    // close boxes, and no maximize box (the size is fixed).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_document.ResetTitle();
}

CMainDlg::~CMainDlg() {
    // End an exchange while this object can still show what it meets.
    m_exchange.Stop();
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
    m_ui.dateList->CreateColumns();
    ReadSettings();
    m_ui.SetDateOrder(m_settings.dateOrder);
    // The window opens with the focus on the first date, so that Enter goes to
    // the default button, Send, and no key press reaches a button by chance.
    m_ui.beginPicker->setFocus(Qt::OtherFocusReason);
}

void CMainDlg::ReadSettings() {
    const Profile profile(LocalPath(m_strProfilePath));
    m_settings = velmora::ReadSettings(profile);
    m_devices = ReadComPortPaths(profile);
    ApplyJudgement();
}

// The same rule as velmora-cli's --early; off, the reply timer alone judges.
void CMainDlg::ApplyJudgement() {
    m_exchange.SetEarlyJudgement(m_settings.earlyJudgement ? std::optional<int>(kDefaultQuietGapMs)
                                                           : std::nullopt);
}

void CMainDlg::DoDataExchange(bool save) {
    if (save) {
        m_nRowCount = m_ui.rowCountEdit->text().toInt();
        m_beginDate = m_ui.beginPicker->dateTime();
        m_endDate = m_ui.endPicker->dateTime();
        return;
    }
    m_ui.rowCountEdit->setText(QString::number(m_nRowCount));
    // Before the first reading the members hold no date; the pickers keep theirs.
    if (m_beginDate.isValid()) m_ui.beginPicker->setDateTime(m_beginDate);
    if (m_endDate.isValid()) m_ui.endPicker->setDateTime(m_endDate);
    m_ui.progressEdit->setText(QString::number(Upload().Progress()));
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
        {MsgKind::Command, ID_FILE_UPLOAD_HISTORY, 0, &CMainDlg::Call<&CMainDlg::OnUploadHistory>},
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
    MainDlgUi::FillWindowMenu(menu);
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

void CMainDlg::OnSettings() {
    CSettingsDlg dialog(m_settings, m_devices, m_serialRoots, this);
    if (dialog.DoModal() != IDOK) return;
    // The values apply whether or not the profile could be written; a failed
    // write is told once, after they apply.
    Profile profile(LocalPath(m_strProfilePath));
    bool written = WriteSettings(profile, dialog.Chosen());
    written = WriteComPortPaths(profile, dialog.ChosenDevices(), m_devices) && written;
    m_devices = WithDefaultComPortPaths(dialog.ChosenDevices());
    const Settings before = std::exchange(m_settings, dialog.Chosen());
    if (m_settings.earlyJudgement != before.earlyJudgement) ApplyJudgement();
    m_ui.SetDateOrder(m_settings.dateOrder);
    // The stored values are compared, not their day-first or month-first meaning.
    if (before.dateOrder != m_settings.dateOrder && m_ui.dateList->rowCount() >= 1) {
        ReorderRows();
    }
    if (!written) {
        AfxMessageBox(QStringLiteral("Unable to save the settings!"), MB_OK,
                      QStringLiteral("%1: %2.\nYour choices hold until Velmora ends.")
                          .arg(m_strProfilePath, QString::fromStdString(profile.WriteError())));
    }
}

// ---- The upload and the serial link ---------------------------------------

void CMainDlg::OnSend() {
    BeginRecord(true);
    m_exchange.Send();
}

void CMainDlg::OnDstDelete() {
    BeginRecord(false);
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
    return ComPortPathOf(m_devices, portNumber);
}

void CMainDlg::RefreshControls() {
    DoDataExchange(false);
}

void CMainDlg::ShowBox(Outcome outcome, const std::string& details) {
    const std::optional<UploadRecord> record = FinishRecord(outcome);
    AfxMessageBox(
        QString::fromUtf8(OutcomeText(outcome)),
        MB_OK | (OutcomeIcon(outcome) == BoxIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION),
        QString::fromStdString(details));
    // After the outcome box, so that writing the record neither delays nor changes it.
    if (record) AddToRecord(*record);
}

std::vector<DstRecord> CMainDlg::ReadRecords() {
    std::vector<DstRecord> records;
    for (const DstRow& row : Rows()) records.push_back(RowToRecord(row, m_settings.dateOrder));
    return records;
}

void CMainDlg::ShowLinkError(const std::string& text) {
    ShowErrorBox(QStringLiteral("Application Error"), QString::fromStdString(text));
}

void CMainDlg::reject() {
    // An empty table, or one as it was opened or saved, closes at once.
    if (m_document.IsChanged() && m_ui.dateList->rowCount() > 0) {
        switch (AskSaveBeforeClosing(this)) {
            case SaveChoice::Save:
                if (!m_document.Save(m_settings.dateOrder)) return;
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
