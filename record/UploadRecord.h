// One entry of the record of uploads, and its form in the record file: one
// line of JSON (RFC 8259) per Send or DST Delete.
//
// {"time":"2026-12-09T23:40:01.123Z","program":"velmora-cli","version":"1.3.0",
//  "command":"send","port":1,"devicePath":"/dev/ttyUSB0","adapter":{"vendorId":"0403",
//  "productId":"6001","serial":"A10K3Z","maker":"...","product":"..."},
//  "file":"site.dst","bytes":"0A1B...","outcome":"Done!","exitCode":0,
//  "framesAnswered":15,"durationMs":1234}
//
// A key whose value is not known is left out ("port" for a device named by its
// path, "file" for rows typed in, each adapter key the system does not give).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "AdapterIdentity.h"
#include "JsonWriter.h"

namespace velmora {

struct UploadRecord {
    std::int64_t timeMs = 0;                // when the exchange began: UTC, milliseconds since 1970
    std::string program;                    // "velmora-cli" or "velmora"
    std::string version;                    // the program's version, "1.3.0"
    std::string command;                    // "send" or "delete"
    std::optional<int> comPort;             // the COM port number, when the port was named by one
    std::string devicePath;                 // the device opened: "/dev/ttyUSB0", "COM5"
    AdapterIdentity adapter;                // the adapter behind the device, as far as known
    std::optional<std::string> sourceFile;  // the file the rows came from, if any
    std::string bytesHex;         // the table's 75 bytes (Send) or the frame (DST Delete), in hex
    std::string outcome;          // the outcome's text, "Done!", "No reply!"
    int exitCode = 0;             // the exit code the exchange gave
    int framesAnswered = 0;       // frames the device answered well
    std::int64_t durationMs = 0;  // how long the exchange took

    bool operator==(const UploadRecord&) const = default;
};

// Completes a record once its exchange has ended: when it began, how long it
// took, and the adapter behind its device (`devicePath` must be filled in).
void FinishRecord(UploadRecord& record, std::chrono::system_clock::time_point began,
                  std::chrono::milliseconds took);

// The record's keys and values as its line writes them, into the object that
// `out` has open (velmora-cli history --json writes them too).
void WriteRecordFields(json::JsonWriter& out, const UploadRecord& record);

// The record as one line of JSON, closing line feed included. Text that is not
// UTF-8 has each stray byte replaced by U+FFFD, so the line is always JSON.
std::string EncodeRecordLine(const UploadRecord& record);

// A line written by EncodeRecordLine (its line feed may be there or not).
// Nothing for a line that is not JSON, is cut short, or lacks what every
// record has ("time", "command", "outcome", "exitCode"). Keys it does not know
// are passed over, so that later versions may add keys.
std::optional<UploadRecord> ParseRecordLine(std::string_view line);

// "2026-12-09T23:40:01.123Z" for milliseconds since 1970, and back; the parser
// takes only that form and nothing for a date that does not exist.
std::string FormatUtcTime(std::int64_t timeMs);
std::optional<std::int64_t> ParseUtcTime(std::string_view text);

}  // namespace velmora
