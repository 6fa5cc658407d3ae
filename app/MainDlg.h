// The main window: the date table, the two date pickers, the row and progress
// counters, the menus, and the upload of the table to the device. It holds the
// table and the settings of the run; the exchange with the device (the serial
// link, the upload sequence, the reply timer) is its ExchangeController's. It
// receives every command, timer expiry and link message through one routing
// table.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DateTable.h"
#include "ExchangeController.h"
#include "MessageRoute.h"
#include "SerialPorts.h"
#include "Settings.h"
#include "SplashWnd.h"

class QDateEdit;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidget;

namespace velmora {

struct CMainDlgOptions {
    // Off for tests and screenshots, which need the window at once.
    bool showBanner = true;
    // A .dst file to open as soon as the window shows, as File > Open would;
    // empty for none.
    QString startFile{};
    // The folder of Velmora.ini; empty for the folder that is current at start.
    QString settingsFolder{};
};

class CMainDlg : public QDialog, public IExchangeFrontEnd {
  public:
    using Options = CMainDlgOptions;
    enum class FileDialogKind { Open, Save };
    // Asks for a file; nothing when the user cancels.
    using FileDialogHook = std::function<std::optional<QString>(FileDialogKind)>;
    // Shows the popup menu at a screen point; the chosen command id, or 0.
    using PopupMenuHook = std::function<int(QMenu& menu, const QPoint& at)>;

    explicit CMainDlg(Options options = {});
    ~CMainDlg() override;

    // Runs OnInitDialog, then the dialog until it closes.
    int DoModal();
    void OnInitDialog();
    // save: the controls into the members; otherwise the members into the controls.
    void DoDataExchange(bool save);
    // Routes one message through the table and returns the handler's result;
    // a message without an entry gets default processing and returns nothing.
    std::optional<long> Dispatch(const DlgMessage& message);

    void SetFileDialogHook(FileDialogHook hook) { m_fileDialog = std::move(hook); }
    void SetPopupMenuHook(PopupMenuHook hook) { m_popupMenu = std::move(hook); }
    // Where the Settings dialog looks for the serial devices present.
    void SetSerialRoots(SystemRoots roots) { m_serialRoots = std::move(roots); }

    // What the window shows and holds, for the settings, the upload and the tests.
    std::vector<DstRow> Rows() const;
    DateOrder GetDateOrder() const { return m_nDateOrder; }
    int RowCount() const { return m_nRowCount; }
    const QString& ProfilePath() const { return m_strProfilePath; }
    ExchangeController& Exchange() { return m_exchange; }
    const UploadSequence& Upload() const { return m_exchange.Sequence(); }
    bool IsTimerRunning(int id) const { return m_exchange.IsTimerRunning(id); }
    CSerialLink& Link() { return m_exchange.Link(); }
    bool JudgesAtOnce() const { return m_bJudgeAtOnce; }
    // Whether the rows differ from the last file opened or saved.
    bool IsTableChanged() const { return m_bTableChanged; }

    // IExchangeFrontEnd
    std::vector<DstRecord> ReadRecords() override;
    int Timeout() const override { return m_nTimeout; }
    int Port() const override { return m_nPort; }
    std::string DevicePath(int portNumber) const override;
    void ShowProgress() override { RefreshControls(); }
    void ShowBox(Outcome outcome, const std::string& details) override;
    void ShowLinkError(const std::string& text) override;
    void DeliverTimer(ExchangeController& exchange, int id) override;
    void DeliverLinkMessage(ExchangeController& exchange, const LinkMessage& message) override;

    void done(int result) override;
    // Every way of closing (Esc, Exit, File > Exit, the close box) ends here;
    // a changed table is not lost without asking.
    void reject() override;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void CreateControls();
    void CreateMenuBar();
    void ShowSystemMenu();
    void DefaultProcessing(const DlgMessage& message);
    template <void (CMainDlg::*Handler)()>
    static long Call(CMainDlg& dlg, const DlgMessage&) {
        (dlg.*Handler)();
        return 0;
    }
    void RefreshControls();
    void CreateListColumns();
    void ReadSettings();
    void ApplyJudgement();
    void ApplyDateOrderToPickers();
    void SetPickersToNow();

    // Handlers, in the order of the routing table.
    void OnSysCommand(int id);
    void OnAdd();
    void OnDstDelete();
    void OnSend();
    void OnAbout();
    void OnFileOpen();
    // The end of File > Open once the file is known (nothing: cancelled).
    void OpenDateFile(const std::optional<QString>& path);
    void OnFileSave();
    void OnFileNewFromZone();
    void OnSettings();
    void OnDelete();
    void OnDeleteAll();
    void OnContextMenu(const QPoint& at);
    void OnTimer(int id);
    long OnLinkRxChar(std::uintptr_t wParam, std::intptr_t lParam);

    // Whether the rows differ from the last file opened or saved. Every command
    // that adds, removes or replaces rows marks it; Open and Save clear it.
    void SetTableChanged(bool changed) { m_bTableChanged = changed; }
    // A button disabled while it has the focus must not pass the focus on
    // along the tab order, where Enter or Space would press the next button.
    void EnableButton(QPushButton* button, bool enable);
    // Save's steps; true when the file was written.
    bool SaveTable();

    void AppendRow(const DstRow& row);
    void ReplaceRows(const std::vector<DstRow>& rows);
    void UpdateRowCount();
    void AfterRowsRemoved();
    void SetTitle(const QString& title);
    std::optional<QString> AskForFile(FileDialogKind kind);
    int TrackPopupMenu(QMenu& menu, const QPoint& at);
    void ReorderRows();

    Options m_options;
    QTableWidget* m_dateList = nullptr;
    int m_nRowCount = 0;
    QDateTime m_beginDate;
    QDateTime m_endDate;
    DateOrder m_nDateOrder = 0;
    CSplashWnd m_splash;
    QString m_strProfilePath;
    int m_nTimeout = 1000;
    int m_nPort = 1;
    bool m_bJudgeAtOnce = false;  // early judgement of complete answers
    // The device of each COM port ("Ports"), read at start-up and replaced by
    // Settings' OK, so a choice holds even when the profile cannot be written.
    ComPortPaths m_strDevices;
    ExchangeController m_exchange;
    QIcon m_hIcon;

    QPushButton* m_sendButton = nullptr;
    QPushButton* m_addButton = nullptr;
    bool m_bTableChanged = false;
    QDateEdit* m_beginPicker = nullptr;
    QDateEdit* m_endPicker = nullptr;
    QLineEdit* m_rowCountEdit = nullptr;
    QLineEdit* m_progressEdit = nullptr;

    FileDialogHook m_fileDialog;
    PopupMenuHook m_popupMenu;
    SystemRoots m_serialRoots;
};

}  // namespace velmora
