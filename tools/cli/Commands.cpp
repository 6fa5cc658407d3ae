#include "Commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "CliHost.h"
#include "DateFile.h"
#include "DeviceFrame.h"
#include "ExchangeRecord.h"
#include "JsonOutput.h"
#include "Platform.h"
#include "ReplaceFile.h"
#include "SerialPortWatch.h"
#include "SerialPorts.h"
#include "Settings.h"
#include "UploadRecording.h"
#include "ZoneTable.h"

namespace velmora::cli {

int Fail(const Options& options, const std::string& message) {
    std::fprintf(stderr, "velmora-cli: %s\n", message.c_str());
    if (options.json) return PrintErrorDocument(options.command, message, kExitUsageOrFile);
    return kExitUsageOrFile;
}

std::string CurrentDirectory() {
    std::error_code error;
    const std::u8string directory = std::filesystem::current_path(error).u8string();
    return error ? std::string(".") : std::string(directory.begin(), directory.end());
}

std::string UnreadableFile(const std::string& path) {
    return "cannot read " + path + " (missing, unreadable or shorter than 75 bytes)";
}

namespace {

constexpr std::size_t kRecordSize = std::tuple_size_v<DstRecord>;

const char* DateOrderName(DateOrder order) {
    return IsMonthFirst(order) ? "monthFirst" : "dayFirst";
}

DstRecord RecordAt(const DateFileBytes& bytes, std::size_t row) {
    DstRecord record{};
    std::copy_n(&bytes[row * kRecordSize], kRecordSize, record.begin());
    return record;
}

// show --json: the file, its rows and its bytes.
int PrintShowDocument(const Options& options, const DateFileBytes& bytes,
                      const std::vector<DstRow>& rows) {
    const DateOrder order = options.monthFirst ? 1 : 0;
    json::JsonWriter document = BeginDocument(Command::Show);
    document.Field("file", options.file).Field("dateOrder", DateOrderName(order));
    document.Key("rows").BeginArray();
    for (std::size_t i = 0; i < rows.size(); ++i)
        WriteRow(document, static_cast<int>(i), rows[i], RecordAt(bytes, i), order);
    document.EndArray().Field("bytes", json::HexBytes(bytes.data(), bytes.size()));
    return PrintDocument(document, kExitDone);
}

// check --json: every row with what the file and the zone say, and the verdict.
int PrintCheckDocument(const Options& options, const TableCheck& check, int differing) {
    const DateOrder order = options.monthFirst ? 1 : 0;
    const bool matches = differing == 0 && check.consecutiveYears;
    json::JsonWriter document = BeginDocument(Command::Check);
    document.Field("file", options.file)
        .Field("zone", options.zone)
        .Field("rowsConvention", RowsConventionName(options.rows))
        .Field("dateOrder", DateOrderName(order))
        .Field("consecutiveYears", check.consecutiveYears)
        .Field("differingRows", differing)
        .Field("verdict", matches ? "match" : "differs");
    document.Key("rows").BeginArray();
    for (const RowCheck& row : check.rows) {
        document.BeginObject()
            .Field("row", row.row + 1)
            .Field("year", row.year)
            .Field("matches", row.Matches())
            .Key("file");
        WriteRow(document, row.row, RecordToRow(row.file, order), row.file, order);
        document.Key("zone");
        if (row.zone)
            WriteRow(document, row.row, RecordToRow(*row.zone, order), *row.zone, order);
        else
            document.Null();
        document.FieldOrNull("problem", NullIfEmpty(row.problem)).EndObject();
    }
    document.EndArray();
    return PrintDocument(document, matches ? kExitDone : kExitTableDiffers);
}

}  // namespace

int RunShow(const Options& options) {
    DateFileBytes bytes{};
    if (!ReadDateFile(options.file, bytes)) return Fail(options, UnreadableFile(options.file));
    const std::vector<DstRow> rows = FileBytesToRows(bytes, options.monthFirst ? 1 : 0);
    if (options.json) return PrintShowDocument(options, bytes, rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::uint8_t* record = &bytes[i * kRecordSize];
        std::printf("%s %s %02X %02X %02X %02X %02X\n", rows[i].begin.c_str(), rows[i].end.c_str(),
                    record[0], record[1], record[2], record[3], record[4]);
    }
    return kExitDone;
}

int RunCheck(const Options& options) {
    DateFileBytes bytes{};
    if (!ReadDateFile(options.file, bytes)) return Fail(options, UnreadableFile(options.file));
    std::vector<DstRecord> records(kMaxRows);
    for (std::size_t i = 0; i < records.size(); ++i)
        std::copy_n(&bytes[i * kRecordSize], kRecordSize, records[i].begin());
    const TableCheck check = CheckTable(records, options.zone, options.rows);
    if (!check.error.empty()) return Fail(options, check.error);
    if (options.json) {
        const auto differing = std::count_if(check.rows.begin(), check.rows.end(),
                                             [](const RowCheck& row) { return !row.Matches(); });
        return PrintCheckDocument(options, check, static_cast<int>(differing));
    }

    // Both sides as the window shows them after Open.
    const DateOrder order = options.monthFirst ? 1 : 0;
    const auto shown = [order](const DstRecord& record) {
        const DstRow row = RecordToRow(record, order);
        return row.begin + " " + row.end;
    };
    if (!check.consecutiveYears)
        std::printf("the years of the rows are not consecutive (%d, %d, ... %d)\n",
                    check.rows[0].year, check.rows[1].year, check.rows.back().year);
    int differing = 0;
    for (const RowCheck& row : check.rows) {
        if (row.Matches()) continue;
        ++differing;
        std::printf("row %d (%d): file %s, ", row.row + 1, row.year, shown(row.file).c_str());
        if (row.zone)
            std::printf("%s %s\n", options.zone.c_str(), shown(*row.zone).c_str());
        else
            std::printf("cannot be judged: %s\n", row.problem.c_str());
    }
    const char* rows = RowsConventionName(options.rows);
    if (differing == 0 && check.consecutiveYears) {
        std::printf("all %d rows match %s (%s rows)\n", kMaxRows, options.zone.c_str(), rows);
        return kExitDone;
    }
    if (differing > 0)
        std::printf("%d of %d rows differ from %s (%s rows)\n", differing, kMaxRows,
                    options.zone.c_str(), rows);
    return kExitTableDiffers;
}

int RunMake(const Options& options) {
    const ZoneRows made = BuildZoneRows(options.zone, options.firstYear, options.rows);
    if (!made.error.empty()) return Fail(options, made.error + "; no file written");
    std::error_code error;
    if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(
                              FileSystemPath(options.output), error)))
        return Fail(options, options.output + " exists; give --force to overwrite it");
    ReplaceFailure failure;
    const DateFileBytes bytes = RowsToFileBytes(made.rows, 0);
    if (!WriteDateFile(options.output, bytes, &failure)) {
        if (IsReadOnlyFile(options.output))
            return Fail(options, options.output + " is read-only; it was not replaced");
        const std::string cannot = "cannot write " + options.output + ": " + failure.reason;
        if (!failure.newFile.empty())
            return Fail(options,
                        cannot + "; the new table is in " + failure.newFile +
                            (failure.oldFile.empty() ? "" : ", the old one in " + failure.oldFile));
        return Fail(options, cannot);
    }
    if (!options.json) return kExitDone;
    json::JsonWriter document = BeginDocument(Command::Make);
    document.Field("zone", options.zone)
        .Field("rowsConvention", RowsConventionName(options.rows))
        .Field("firstYear", options.firstYear)
        .Field("lastYear", options.firstYear + kMaxRows - 1)
        .Field("output", options.output)
        .Field("dateOrder", DateOrderName(0));
    document.Key("rows").BeginArray();
    for (std::size_t i = 0; i < made.rows.size(); ++i)
        WriteRow(document, static_cast<int>(i), made.rows[i], RecordAt(bytes, i), 0);
    document.EndArray().Field("bytes", json::HexBytes(bytes.data(), bytes.size()));
    return PrintDocument(document, kExitDone);
}

namespace {

// ports --json: the devices present and where each COM port leads.
int PrintPortsDocument(const std::vector<SerialDevice>& devices, const Profile& profile,
                       const SystemRoots& roots) {
    json::JsonWriter document = BeginDocument(Command::Ports);
    document.Key("devices").BeginArray();
    for (const SerialDevice& device : devices)
        document.BeginObject()
            .Field("path", device.path)
            .Field("description", device.description)
            .EndObject();
    document.EndArray().Field("profile", profile.Path()).Key("comPorts").BeginArray();
    const ComPortPaths paths = ReadComPortPaths(profile);
    for (int port = 1; port <= kComPortCount; ++port) {
        const std::string& path = paths[static_cast<std::size_t>(port - 1)];
        const std::string presence = DescribePresence(path, roots);
        document.BeginObject()
            .Field("port", port)
            .Field("name", "COM" + std::to_string(port))
            .Field("path", path)
            .Field("source", IsComPortMapped(profile, port) ? "ports" : "default")
            .Field("present", presence == "present")
            .Field("presence", presence)
            .EndObject();
    }
    document.EndArray();
    return PrintDocument(document, kExitDone);
}

// Where the devices are looked for: the system's /dev and /sys, or, for the
// tests, the dev/ and sys/ of the folder VELMORA_DEVICE_ROOT names (Linux only;
// Windows has no such folders).
SystemRoots DeviceRoots() {
    // Read, never changed, by this program: getenv is safe here.
    const char* root = std::getenv("VELMORA_DEVICE_ROOT");  // NOLINT(concurrency-mt-unsafe)
    if (root == nullptr || root[0] == '\0') return {};
    const std::filesystem::path folder(root);
    return {(folder / "dev").string(), (folder / "sys").string(), "/proc"};
}

// One device present or changed: "+ PATH  DESCRIPTION", or with --json an
// object of its own line.
void PrintDeviceLine(const Options& options, std::string_view event, const SerialDevice& device) {
    if (options.json) {
        json::JsonWriter line = BeginDocument(Command::Ports);
        line.Field("event", event)
            .Field("path", device.path)
            .Field("description", device.description)
            .EndObject();
        std::fputs(line.Text().c_str(), stdout);
        std::fputc('\n', stdout);
    } else {
        const char* mark = event == "arrived" ? "+ " : event == "departed" ? "- " : "  ";
        std::printf("%s%s", mark, ShownPath(device.path).c_str());
        if (!device.description.empty()) std::printf("  %s", ShownPath(device.description).c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
}

// ports --watch: the devices present, then each change as the watch tells it,
// until interrupted.
int WatchPorts(const Options& options, const SystemRoots& roots) {
    CatchInterrupts();  // before the watch's thread starts
    {
        // The devices present are printed whole before the first change.
        std::mutex printing;
        std::unique_lock listing(printing);
        SerialPortWatch watch(roots, [&](const std::vector<SerialDevice>&,
                                         const std::vector<SerialDeviceChange>& changes) {
            const std::lock_guard lock(printing);
            for (const SerialDeviceChange& change : changes) {
                PrintDeviceLine(
                    options,
                    change.kind == SerialDeviceChange::Kind::Arrived ? "arrived" : "departed",
                    change.device);
            }
        });
        if (!options.json) std::printf("Serial devices:\n");
        for (const SerialDevice& device : watch.Present())
            PrintDeviceLine(options, "present", device);
        if (!options.json && watch.Present().empty()) std::printf("  (none found)\n");
        std::fflush(stdout);
        listing.unlock();
        std::fprintf(stderr,
                     "velmora-cli: watching for serial devices plugged in or pulled out; "
                     "Ctrl+C ends\n");
        AwaitInterrupt();
    }
    if (!options.json) return kExitDone;
    json::JsonWriter last = BeginDocument(Command::Ports);
    last.Field("event", "stopped");
    return PrintDocument(last, kExitDone);
}

}  // namespace

int RunPorts(const Options& options) {
    const SystemRoots roots = DeviceRoots();
    if (options.watch) return WatchPorts(options, roots);
    const std::vector<SerialDevice> devices = ListSerialDevices(roots);
    if (options.json)
        return PrintPortsDocument(devices, Profile(ProfilePathIn(CurrentDirectory())), roots);
    std::printf("Serial devices:\n");
    if (devices.empty()) std::printf("  (none found)\n");
    for (const SerialDevice& device : devices) {
        std::printf("  %s", ShownPath(device.path).c_str());
        if (!device.description.empty()) std::printf("  %s", ShownPath(device.description).c_str());
        std::printf("\n");
    }

    const Profile profile(ProfilePathIn(CurrentDirectory()));
    std::printf("COM ports of %s:\n", ShownPath(profile.Path()).c_str());
    const ComPortPaths paths = ReadComPortPaths(profile);
    for (int port = 1; port <= kComPortCount; ++port) {
        const std::string& path = paths[static_cast<std::size_t>(port - 1)];
        std::printf("  COM%d  %s  (%s) %s\n", port, ShownPath(path).c_str(),
                    IsComPortMapped(profile, port) ? "[Ports]" : "default",
                    DescribePresence(path, roots).c_str());
    }
    std::fflush(stdout);
    return kExitDone;
}

}  // namespace velmora::cli
