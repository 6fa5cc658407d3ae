// The window's record of uploads: each Send and DST Delete adds its line once
// its outcome box has been shown, and File > Upload History shows the record.
#include <QString>
#include <chrono>
#include <utility>

#include "ExchangeRecord.h"
#include "MainDlg.h"
#include "MessageBox.h"
#include "RecordFile.h"
#include "Resources.h"
#include "UploadHistoryDlg.h"

namespace velmora {

void CMainDlg::BeginRecord(bool send) {
    m_pendingRecord.reset();
    if (!m_settings.recordUploads) return;
    // What the exchange reads as it starts; a Send without a full table starts none.
    const std::vector<DstRecord> table = send ? ReadRecords() : std::vector<DstRecord>{};
    if (send && table.size() != static_cast<std::size_t>(kMaxRows)) return;
    UploadRecord record = BeginExchangeRecord("velmora", send, table, m_settings.port);
    record.devicePath = DevicePath(m_settings.port);
    // The rows are a file's while they are as it was opened or saved.
    if (send && !m_document.IsChanged() && !m_document.FilePath().empty())
        record.sourceFile = m_document.FilePath();
    record.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    m_pendingRecord = std::move(record);
    m_exchangeStarted = std::chrono::steady_clock::now();
}

void CMainDlg::AddToRecord(const UploadRecord& record) {
    std::string reason;
    const std::string path = DefaultRecordPath(&reason);
    if (!path.empty() && AppendUploadRecord(path, record, &reason)) return;
    // Told once per run; the exchange's outcome stands either way.
    if (std::exchange(m_recordFailureTold, true)) return;
    AfxMessageBox(QStringLiteral("The upload was not added to the record of uploads%1: %2.")
                      .arg(path.empty() ? QString() : " " + QString::fromStdString(path),
                           QString::fromStdString(reason)),
                  MB_OK);
}

void CMainDlg::OnUploadHistory() {
    std::string whyNoPath;
    const std::string path = DefaultRecordPath(&whyNoPath);
    CUploadHistoryDlg history(path, whyNoPath, this);
    history.exec();
}

std::optional<UploadRecord> CMainDlg::FinishRecord(Outcome outcome) {
    std::optional<UploadRecord> record = std::exchange(m_pendingRecord, std::nullopt);
    if (!record) return record;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_exchangeStarted);
    const std::chrono::system_clock::time_point began{std::chrono::milliseconds(record->timeMs)};
    FinishExchangeRecord(*record, outcome, Upload().AcknowledgedCount(), began, took);
    return record;
}

}  // namespace velmora
