// The main window: the date table, the two date pickers, the row and progress
// counters and the menus. It holds the settings of the run and routes every
// command, timer expiry and link message through one routing table to its
// handlers. The controls are its MainDlgUi's, the rows' file, title and
// changed state its TableDocument's, and the exchange with the device (the
// serial link, the upload sequence, the reply timer) its ExchangeController's.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DateTable.h"
#include "ExchangeController.h"
#include "MainDlgUi.h"
#include "MessageRoute.h"
#include "SerialPorts.h"
#include "Settings.h"
#include "SplashWnd.h"
#include "TableDocument.h"
#include "UploadRecord.h"

class QMenu;

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
    using FileDialogKind = TableDocument::FileDialogKind;
    using FileDialogHook = TableDocument::FileDialogHook;
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

    void SetFileDialogHook(FileDialogHook hook) { m_document.SetFileDialogHook(std::move(hook)); }
    void SetPopupMenuHook(PopupMenuHook hook) { m_popupMenu = std::move(hook); }
    // Where the Settings dialog looks for the serial devices present.
    void SetSerialRoots(SystemRoots roots) { m_serialRoots = std::move(roots); }

    // What the window shows and holds, for the settings, the upload and the tests.
    std::vector<DstRow> Rows() const;
    DateOrder GetDateOrder() const { return m_settings.dateOrder; }
    int RowCount() const { return m_nRowCount; }
    const QString& ProfilePath() const { return m_strProfilePath; }
    ExchangeController& Exchange() { return m_exchange; }
    const UploadSequence& Upload() const { return m_exchange.Sequence(); }
    bool IsTimerRunning(int id) const { return m_exchange.IsTimerRunning(id); }
    CSerialLink& Link() { return m_exchange.Link(); }
    bool JudgesAtOnce() const { return m_settings.earlyJudgement; }
    // Whether the rows differ from the last file opened or saved.
    bool IsTableChanged() const { return m_document.IsChanged(); }

    // IExchangeFrontEnd
    std::vector<DstRecord> ReadRecords() override;
    int Timeout() const override { return m_settings.timeoutMs; }
    int Port() const override { return m_settings.port; }
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
    void ShowSystemMenu();
    void DefaultProcessing(const DlgMessage& message);
    template <void (CMainDlg::*Handler)()>
    static long Call(CMainDlg& dlg, const DlgMessage&) {
        (dlg.*Handler)();
        return 0;
    }
    void RefreshControls();
    void ReadSettings();
    void ApplyJudgement();

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
    void OnUploadHistory();
    void OnDelete();
    void OnDeleteAll();
    void OnContextMenu(const QPoint& at);
    void OnTimer(int id);
    long OnLinkRxChar(std::uintptr_t wParam, std::intptr_t lParam);

    // The record of uploads (MainDlgRecord.cpp): begun as an exchange starts,
    // finished with its outcome, added once the outcome box has been shown.
    void BeginRecord(bool send);
    std::optional<UploadRecord> FinishRecord(Outcome outcome);
    void AddToRecord(const UploadRecord& record);

    void UpdateRowCount();
    void AfterRowsRemoved();
    int TrackPopupMenu(QMenu& menu, const QPoint& at);
    void ReorderRows();

    // Names: the members the window has always had keep their framework-style
    // names, though Qt changed a type: m_hIcon holds a QIcon, not an icon
    // handle. m_nRowCount, m_beginDate and m_endDate are what the data exchange
    // reads from and shows in the controls. The date list is m_ui.dateList; the
    // timeout, port and date order are m_settings' fields; the frame list, reply
    // buffer, single command mode and serial link live in m_exchange, and the
    // title is m_document's to set. Newer members carry no type prefix.
    Options m_options;
    MainDlgUi m_ui;
    TableDocument m_document;
    int m_nRowCount = 0;
    QDateTime m_beginDate;
    QDateTime m_endDate;
    CSplashWnd m_splash;
    QString m_strProfilePath;
    Settings m_settings;
    // The device of each COM port ("Ports"), read at start-up and replaced by
    // Settings' OK, so a choice holds even when the profile cannot be written.
    ComPortPaths m_devices;
    ExchangeController m_exchange;
    QIcon m_hIcon;

    PopupMenuHook m_popupMenu;
    SystemRoots m_serialRoots;

    // The exchange running, for the record of uploads: nothing when the record
    // is off. A record that cannot be written is told once per run.
    std::optional<UploadRecord> m_pendingRecord;
    std::chrono::steady_clock::time_point m_exchangeStarted;
    bool m_recordFailureTold = false;
};

}  // namespace velmora
