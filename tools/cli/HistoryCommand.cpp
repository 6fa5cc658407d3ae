// history: the record of uploads as a table for a person, or as JSON.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "JsonOutput.h"
#include "RecordFile.h"
#include "SerialPorts.h"
#include "UploadHistory.h"

namespace velmora::cli {
namespace {

// Characters, not bytes, so that names outside ASCII keep the columns straight.
std::size_t Width(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0U) != 0x80;
    }));
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(widths[i] - Width(row[i]) + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    }
}

int PrintHistoryDocument(const std::string& path, const RecordReading& reading,
                         const std::vector<const UploadRecord*>& chosen) {
    json::JsonWriter document = BeginDocument(Command::History);
    document.Field("recordPath", path)
        .Field("skippedLines", static_cast<long long>(reading.skipped))
        .Key("uploads")
        .BeginArray();
    for (const UploadRecord* record : chosen) {
        document.BeginObject();
        WriteRecordFields(document, *record);
        document.FieldOrNull("years", NullIfEmpty(TableYears(*record))).EndObject();
    }
    document.EndArray();
    return PrintDocument(document, kExitDone);
}

}  // namespace

int RunHistory(const Options& options) {
    HistoryFilter filter;
    if (!options.ports.empty()) {
        const PortChoice& port = options.ports.front();
        filter.port = port.number > 0 ? std::to_string(port.number) : port.path;
    }
    if (!options.since.empty()) {
        filter.sinceMs = ParseSince(options.since);
        if (!filter.sinceMs)
            return Fail(options,
                        "--since takes a date as YYYY-MM-DD or a time as "
                        "2026-12-09T23:40:01.123Z, not '" +
                            ShownPath(options.since) + "'");
    }
    std::string reason;
    const std::string path = DefaultRecordPath(&reason);
    if (path.empty()) return Fail(options, "no record of uploads: " + reason);
    RecordReading reading;
    if (!ReadUploadRecords(path, reading, &reason))
        return Fail(options,
                    "cannot read the record of uploads " + ShownPath(path) + ": " + reason);

    std::vector<const UploadRecord*> chosen;
    for (const UploadRecord& record : reading.records)
        if (Matches(record, filter)) chosen.push_back(&record);
    if (reading.skipped > 0) {
        std::fprintf(stderr, "velmora-cli: %zu line(s) of %s are no record and were passed over\n",
                     reading.skipped, ShownPath(path).c_str());
        std::fflush(stderr);
    }
    if (options.json) return PrintHistoryDocument(path, reading, chosen);
    if (chosen.empty()) {
        std::fprintf(stderr, "velmora-cli: no uploads recorded%s in %s\n",
                     reading.records.empty() ? "" : " that match", ShownPath(path).c_str());
        return kExitDone;
    }
    std::vector<std::vector<std::string>> rows{HistoryHeadings()};
    for (const UploadRecord* record : chosen) {
        std::vector<std::string> cells = HistoryCells(*record);
        for (std::string& cell : cells) cell = cell.empty() ? "-" : ShownPath(cell);
        rows.push_back(std::move(cells));
    }
    PrintTable(rows);
    std::fflush(stdout);
    return kExitDone;
}

}  // namespace velmora::cli
