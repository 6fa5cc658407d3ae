#include "ExchangeRecord.h"

#include <utility>

#include "DeviceFrame.h"
#include "JsonWriter.h"
#include "version.h"

namespace velmora {

UploadRecord BeginExchangeRecord(std::string program, bool send,
                                 const std::vector<DstRecord>& table, int portNumber) {
    UploadRecord record;
    record.program = std::move(program);
    record.version = VELMORA_VERSION;
    record.command = send ? "send" : "delete";
    if (send) {
        std::string bytes;
        for (const DstRecord& row : table) bytes.append(row.begin(), row.end());
        record.bytesHex = json::HexBytes(bytes);
    } else {
        record.bytesHex = json::HexBytes(DstDeleteFrame());
    }
    if (portNumber > 0) record.comPort = portNumber;
    return record;
}

void FinishExchangeRecord(UploadRecord& record, Outcome outcome, int acknowledged,
                          std::chrono::system_clock::time_point began,
                          std::chrono::milliseconds took) {
    FinishRecord(record, began, took);
    record.outcome = OutcomeText(outcome);
    record.exitCode = OutcomeExitCode(outcome);
    record.framesAnswered = record.command == "send"   ? acknowledged
                            : outcome == Outcome::Done ? 1
                                                       : 0;
}

}  // namespace velmora
