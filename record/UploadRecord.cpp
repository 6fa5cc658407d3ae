#include "UploadRecord.h"

#include <chrono>
#include <cstdio>

#include "JsonReader.h"

namespace velmora {
namespace {

// A member only when its value is known.
void WriteKnown(json::JsonWriter& out, std::string_view key,
                const std::optional<std::string>& value) {
    if (value) out.Field(key, *value);
}

bool ReadAdapter(json::JsonReader& in, AdapterIdentity& adapter) {
    if (!in.Take('{')) return false;
    if (in.Take('}')) return true;
    std::string key;
    do {
        if (!in.String(key) || !in.Take(':')) return false;
        std::optional<std::string>* field = key == "vendorId"       ? &adapter.vendorId
                                            : key == "productId"    ? &adapter.productId
                                            : key == "serial"       ? &adapter.serial
                                            : key == "maker"        ? &adapter.maker
                                            : key == "product"      ? &adapter.product
                                            : key == "friendlyName" ? &adapter.friendlyName
                                            : key == "hardwareId"   ? &adapter.hardwareId
                                                                    : nullptr;
        if (field ? !in.OptionalString(*field) : !in.SkipValue(1)) return false;
    } while (in.Take(','));
    return in.Take('}');
}

}  // namespace

std::string FormatUtcTime(std::int64_t timeMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds{timeMs}};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{time - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
    using namespace std::chrono;
    // "YYYY-MM-DDTHH:MM:SS.mmmZ": the digits' places and the separators between.
    static constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != kForm.size()) return std::nullopt;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                              day{static_cast<unsigned>(number(8, 2))}};
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const auto time = sys_days{date} + hours{hour} + minutes{minute} + seconds{second} +
                      milliseconds{number(20, 3)};
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

void FinishRecord(UploadRecord& record, std::chrono::system_clock::time_point began,
                  std::chrono::milliseconds took) {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    record.timeMs = duration_cast<milliseconds>(began.time_since_epoch()).count();
    record.durationMs = took.count();
    record.adapter = IdentifyAdapter(record.devicePath);
}

void WriteRecordFields(json::JsonWriter& line, const UploadRecord& record) {
    line.Field("time", FormatUtcTime(record.timeMs))
        .Field("program", record.program)
        .Field("version", record.version)
        .Field("command", record.command);
    if (record.comPort) line.Field("port", *record.comPort);
    line.Field("devicePath", record.devicePath);
    if (!record.adapter.Empty()) {
        const AdapterIdentity& adapter = record.adapter;
        line.Key("adapter").BeginObject();
        WriteKnown(line, "vendorId", adapter.vendorId);
        WriteKnown(line, "productId", adapter.productId);
        WriteKnown(line, "serial", adapter.serial);
        WriteKnown(line, "maker", adapter.maker);
        WriteKnown(line, "product", adapter.product);
        WriteKnown(line, "friendlyName", adapter.friendlyName);
        WriteKnown(line, "hardwareId", adapter.hardwareId);
        line.EndObject();
    }
    WriteKnown(line, "file", record.sourceFile);
    line.Field("bytes", record.bytesHex)
        .Field("outcome", record.outcome)
        .Field("exitCode", record.exitCode)
        .Field("framesAnswered", record.framesAnswered)
        .Field("durationMs", static_cast<long long>(record.durationMs));
}

std::string EncodeRecordLine(const UploadRecord& record) {
    json::JsonWriter line;
    line.BeginObject();
    WriteRecordFields(line, record);
    line.EndObject();
    return line.Text() + "\n";
}

std::optional<UploadRecord> ParseRecordLine(std::string_view line) {
    json::JsonReader in(line);
    UploadRecord record;
    bool hasTime = false, hasCommand = false, hasOutcome = false, hasExitCode = false;
    if (!in.Take('{')) return std::nullopt;
    if (!in.Take('}')) {
        std::string key;
        std::string text;
        do {
            if (!in.String(key) || !in.Take(':')) return std::nullopt;
            bool ok = true;
            if (key == "time") {
                std::optional<std::int64_t> time;
                ok = in.String(text) && (time = ParseUtcTime(text)).has_value();
                if (ok) record.timeMs = *time;
                hasTime = ok;
            } else if (key == "program") {
                ok = in.String(record.program);
            } else if (key == "version") {
                ok = in.String(record.version);
            } else if (key == "command") {
                ok = hasCommand = in.String(record.command);
            } else if (key == "port") {
                int port = 0;
                if (in.TakeWord("null")) {
                    record.comPort.reset();
                } else {
                    ok = in.Integer(port);
                    record.comPort = port;
                }
            } else if (key == "devicePath") {
                ok = in.String(record.devicePath);
            } else if (key == "adapter") {
                record.adapter = {};
                ok = ReadAdapter(in, record.adapter);
            } else if (key == "file") {
                ok = in.OptionalString(record.sourceFile);
            } else if (key == "bytes") {
                ok = in.String(record.bytesHex);
            } else if (key == "outcome") {
                ok = hasOutcome = in.String(record.outcome);
            } else if (key == "exitCode") {
                ok = hasExitCode = in.Integer(record.exitCode);
            } else if (key == "framesAnswered") {
                ok = in.Integer(record.framesAnswered);
            } else if (key == "durationMs") {
                ok = in.Integer(record.durationMs);
            } else {
                ok = in.SkipValue(1);
            }
            if (!ok) return std::nullopt;
        } while (in.Take(','));
        if (!in.Take('}')) return std::nullopt;
    }
    if (!in.AtEnd() || !hasTime || !hasCommand || !hasOutcome || !hasExitCode) return std::nullopt;
    return record;
}

}  // namespace velmora
