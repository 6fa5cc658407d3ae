// The record of one Send or DST Delete as the programs that upload make it:
// begun with what is sent and where, finished once the outcome is known.
// velmora-cli and the window both use it, so that their lines agree.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "DateTable.h"
#include "UploadRecord.h"
#include "UploadSequence.h"

namespace velmora {

// A record of `program` (this build's version) sending `table`, the records in
// row order, or, when `send` is false, the DST Delete frame; `portNumber`, when
// positive, is the COM port. The caller adds the device and the source file.
UploadRecord BeginExchangeRecord(std::string program, bool send,
                                 const std::vector<DstRecord>& table, int portNumber);

// Completes the record with the outcome, its exit code, the frames the device
// answered well (`acknowledged` for a Send; DST Delete's one frame counts when
// it is Done), the time and the adapter behind `record.devicePath`.
void FinishExchangeRecord(UploadRecord& record, Outcome outcome, int acknowledged,
                          std::chrono::system_clock::time_point began,
                          std::chrono::milliseconds took);

}  // namespace velmora
