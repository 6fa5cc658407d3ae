#include "JsonOutput.h"

#include <charconv>
#include <cstdio>

namespace velmora::cli {
namespace {

std::optional<int> Number(std::string_view digits) {
    int value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

int DaysInMonth(int month, int year) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

json::JsonWriter BeginDocument(Command command) {
    json::JsonWriter document;
    document.BeginObject()
        .Field("command", CommandName(command))
        .Field("formatVersion", kJsonFormatVersion);
    return document;
}

int PrintDocument(json::JsonWriter& document, int exitCode,
                  const std::optional<std::string>& error) {
    document.Field("exitCode", exitCode);
    if (error) document.Key("error").BeginObject().Field("message", *error).EndObject();
    document.EndObject();
    std::fputs(document.Text().c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return exitCode;
}

int PrintErrorDocument(Command command, const std::string& message, int exitCode) {
    json::JsonWriter document = BeginDocument(command);
    return PrintDocument(document, exitCode, message);
}

std::optional<std::string_view> NullIfEmpty(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

std::string IsoDate(std::string_view text, DateOrder order) {
    if (text.size() != 10 || text[2] != '/' || text[5] != '/') return {};
    const std::optional<int> first = Number(text.substr(0, 2));
    const std::optional<int> second = Number(text.substr(3, 2));
    const std::optional<int> year = Number(text.substr(6, 4));
    if (!first || !second || !year) return {};
    const int day = IsMonthFirst(order) ? *second : *first;
    const int month = IsMonthFirst(order) ? *first : *second;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, *year)) return {};
    char iso[40];  // room for any three ints, though the date is ten characters
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", *year, month, day);
    return iso;
}

void WriteRow(json::JsonWriter& document, int index, const DstRow& row, const DstRecord& record,
              DateOrder order) {
    document.BeginObject()
        .Field("row", index + 1)
        .FieldOrNull("begins", NullIfEmpty(IsoDate(row.begin, order)))
        .FieldOrNull("ends", NullIfEmpty(IsoDate(row.end, order)))
        .Field("beginText", row.begin)
        .Field("endText", row.end)
        .Field("record", json::HexBytes(record.data(), record.size()))
        .EndObject();
}

}  // namespace velmora::cli
