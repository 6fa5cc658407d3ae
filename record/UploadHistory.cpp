#include "UploadHistory.h"

#include <charconv>

namespace velmora {
namespace {

constexpr std::size_t kTableBytes = 75;
constexpr std::size_t kRowBytes = 5;

std::optional<int> HexByte(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

bool Matches(const UploadRecord& record, const HistoryFilter& filter) {
    if (filter.sinceMs && record.timeMs < *filter.sinceMs) return false;
    if (filter.port.empty()) return true;
    int number = 0;
    const std::string& port = filter.port;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error == std::errc() && end == port.data() + port.size()) return record.comPort == number;
    return record.devicePath == port;
}

std::optional<std::int64_t> ParseSince(std::string_view text) {
    if (text.size() == 10) return ParseUtcTime(std::string(text) + "T00:00:00.000Z");
    return ParseUtcTime(text);
}

std::string TableYears(const UploadRecord& record) {
    const std::string& hex = record.bytesHex;
    if (hex.size() != kTableBytes * 2) return {};
    std::optional<int> first;
    int last = 0;
    for (std::size_t row = 0; row < kTableBytes / kRowBytes; ++row) {
        const std::string_view bytes =
            std::string_view(hex).substr(row * kRowBytes * 2, kRowBytes * 2);
        if (bytes.find_first_not_of('0') == std::string_view::npos) continue;  // an empty row
        const std::optional<int> year = HexByte(bytes.substr((kRowBytes - 1) * 2));
        if (!year) return {};
        if (!first) first = 2000 + *year;
        last = 2000 + *year;
    }
    if (!first) return {};
    if (*first == last) return std::to_string(last);
    return std::to_string(*first) + "-" + std::to_string(last);
}

const std::vector<std::string>& HistoryHeadings() {
    static const std::vector<std::string> kHeadings = {
        "Time (UTC)", "Port", "Device", "Adapter serial", "Command", "Years", "Outcome"};
    return kHeadings;
}

std::vector<std::string> HistoryCells(const UploadRecord& record) {
    std::string time = FormatUtcTime(record.timeMs);  // 2026-12-09T23:40:01.123Z
    time = time.substr(0, 10) + " " + time.substr(11, 8);
    return {time,
            record.comPort ? "COM" + std::to_string(*record.comPort) : std::string(),
            record.devicePath,
            record.adapter.serial.value_or(std::string()),
            record.command == "delete" ? "DST Delete"
            : record.command == "send" ? "Send"
                                       : record.command,
            TableYears(record),
            record.outcome};
}

}  // namespace velmora
