// The record of uploads as people read it: which lines a question asks for,
// and each line's cells in the history's columns (velmora-cli history and the
// window's Upload History show the same columns).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "UploadRecord.h"

namespace velmora {

struct HistoryFilter {
    // A COM port number ("3") or the device's path; empty: every port.
    std::string port;
    // Only exchanges that began at or after this time (ms since 1970, UTC).
    std::optional<std::int64_t> sinceMs;
};

bool Matches(const UploadRecord& record, const HistoryFilter& filter);

// "2026-12-09" (that day's start, UTC) or a time as the record writes it;
// nothing for any other text.
std::optional<std::int64_t> ParseSince(std::string_view text);

// The years the table's rows are for: "2027-2041", "2027", or empty when the
// bytes hold no table (DST Delete, or bytes that are not 75).
std::string TableYears(const UploadRecord& record);

// The columns: "Time (UTC)", "Port", "Device", "Adapter serial", "Command",
// "Years", "Outcome".
const std::vector<std::string>& HistoryHeadings();
std::vector<std::string> HistoryCells(const UploadRecord& record);

}  // namespace velmora
