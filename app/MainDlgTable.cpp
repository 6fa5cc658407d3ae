// The main window's commands on the date table: Add, Delete, Delete all and
// the popup menu over the list, the rewriting of the rows after a change of
// date order, and the file commands that replace or save the rows. Each keeps
// the row count, the Add and Send buttons and the document's state in step.
#include <QContextMenuEvent>
#include <QMenu>

#include "DateList.h"
#include "MainDlg.h"
#include "MessageBox.h"
#include "Resources.h"

namespace velmora {

std::vector<DstRow> CMainDlg::Rows() const {
    return m_ui.dateList->Rows();
}

void CMainDlg::UpdateRowCount() {
    m_nRowCount = m_ui.dateList->rowCount();
}

void CMainDlg::AfterRowsRemoved() {
    m_document.SetChanged(true);
    UpdateRowCount();
    RefreshControls();
    if (m_nRowCount < kMaxRows) {
        m_ui.EnableButton(m_ui.addButton, true);
        m_ui.EnableButton(m_ui.sendButton, false);
    }
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
        return ComposeDateText(date.day(), date.month(), date.year(), m_settings.dateOrder);
    };
    m_ui.dateList->AppendRow({text(m_beginDate), text(m_endDate)});
    m_document.SetChanged(true);
    m_ui.dateList->scrollToBottom();
    UpdateRowCount();
    if (m_nRowCount == kMaxRows) {
        m_ui.EnableButton(m_ui.sendButton, true);
        m_ui.EnableButton(m_ui.addButton, false);
    }
    RefreshControls();
}

void CMainDlg::OnDelete() {
    m_ui.dateList->RemoveSelectedRow();
    AfterRowsRemoved();
}

void CMainDlg::OnDeleteAll() {
    m_ui.dateList->setRowCount(0);
    AfterRowsRemoved();
    m_document.ResetTitle();
}

void CMainDlg::OnContextMenu(const QPoint& at) {
    if (!m_ui.dateList->HitTest(at)) return;
    QMenu popup;
    MainDlgUi::FillPopupMenu(popup, m_ui.dateList->rowCount(), m_ui.dateList->HasSelectedRow());
    if (const int id = TrackPopupMenu(popup, at)) Dispatch({MsgKind::Command, id, 0, 0, 0, {}});
}

void CMainDlg::ReorderRows() {
    // The upload keeps its own frames, so rewriting the texts never touches them.
    m_ui.dateList->ReplaceRows(velmora::ReorderRows(Rows()));
    UpdateRowCount();
    RefreshControls();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    Dispatch({MsgKind::ContextMenu, 0, 0, 0, 0, event->globalPos()});
}

void CMainDlg::OnFileOpen() {
    OpenDateFile(m_document.AskForFile(FileDialogKind::Open));
}

void CMainDlg::OpenDateFile(const std::optional<QString>& path) {
    // A file that cannot be used leaves the table, the title and the buttons as they were.
    if (path && m_document.Open(*path, m_settings.dateOrder)) {
        m_ui.EnableButton(m_ui.addButton, false);
    }
    m_ui.SetPickersToNow();
    DoDataExchange(true);
    UpdateRowCount();
    m_ui.EnableButton(m_ui.sendButton, m_nRowCount >= kMaxRows);
    RefreshControls();
}

void CMainDlg::OnFileSave() {
    m_document.Save(m_settings.dateOrder);
}

void CMainDlg::OnFileNewFromZone() {
    if (!m_document.NewFromZone(m_settings.dateOrder)) return;
    m_ui.dateList->scrollToTop();
    UpdateRowCount();
    m_ui.EnableButton(m_ui.sendButton, m_nRowCount >= kMaxRows);
    m_ui.EnableButton(m_ui.addButton, m_nRowCount < kMaxRows);
    RefreshControls();
}

}  // namespace velmora
