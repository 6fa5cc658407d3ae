#include "DateTable.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace velmora {

namespace {

// "%d", with a '0' in front of a result that is one character long.
std::string TwoCharNumber(int value) {
    char buffer[16];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    std::string text(static_cast<const char*>(buffer), end);
    if (text.size() == 1) text.insert(text.begin(), '0');
    return text;
}

// Two digit characters to a byte. The arithmetic is kept for any character
// (tens * 10 + units - 528 equals the decimal value for ASCII digits), and the
// result is cut to a byte the way a byte store cuts it.
std::uint8_t DigitPairValue(char tens, char units) {
    return static_cast<std::uint8_t>(static_cast<unsigned char>(tens) * 10 +
                                     static_cast<unsigned char>(units) - 528);
}

// A field of a short text: its last two characters, a missing tens character
// counting as '0' ("5" gives 5) and an empty field giving 0.
std::uint8_t FieldValue(std::string_view field) {
    if (field.empty()) return 0;
    if (field.size() == 1) return DigitPairValue('0', field[0]);
    return DigitPairValue(field[field.size() - 2], field[field.size() - 1]);
}

// The values a date text holds, in text order: first field, second field, year.
struct TextFields {
    std::uint8_t first;
    std::uint8_t second;
    std::uint8_t year;
};

// A text of ten characters or more is read at the fixed positions 0,1 / 3,4 /
// 8,9 with no check of the characters. A shorter text can only come from a file
// with an empty day or month field ("/03/2007"), so it is read field by field
// between the slashes; its year byte is the last two characters of the third
// field, which is what positions 8 and 9 hold in a full text. Either way a
// table loaded from a file saves back the bytes it was loaded from whenever
// the loaded texts can carry them.
TextFields ReadTextFields(std::string_view text) {
    if (text.size() >= 10) {
        return {DigitPairValue(text[0], text[1]), DigitPairValue(text[3], text[4]),
                DigitPairValue(text[8], text[9])};
    }
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const std::size_t slash = text.find('/');
        field = text.substr(0, slash);
        text = slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);
    }
    return {FieldValue(fields[0]), FieldValue(fields[1]), FieldValue(fields[2])};
}

// Day, month and year texts joined in the given order.
std::string JoinDateText(const std::string& day, const std::string& month, const std::string& year,
                         DateOrder order) {
    if (IsMonthFirst(order)) return month + '/' + day + '/' + year;
    return day + '/' + month + '/' + year;
}

}  // namespace

std::string ComposeDateText(int day, int month, int year, DateOrder order) {
    return JoinDateText(TwoCharNumber(day), TwoCharNumber(month), TwoCharNumber(year), order);
}

DstRecord RowToRecord(const DstRow& row, DateOrder order) {
    const TextFields begin = ReadTextFields(row.begin);
    const TextFields end = ReadTextFields(row.end);
    if (IsMonthFirst(order)) return {begin.second, begin.first, end.second, end.first, end.year};
    return {begin.first, begin.second, end.first, end.second, end.year};
}

std::string ReorderText(const std::string& text) {
    // A text with an empty or shortened field (a file can give "/03/2007") has its
    // two leading fields swapped instead: the fixed-position rule would move a
    // slash into the day or month and a later save would write a different byte.
    const std::size_t first = text.find('/');
    const std::size_t second = first == std::string::npos ? first : text.find('/', first + 1);
    const bool fixedForm = text.size() == 10 && first == 2 && second == 5;
    if (!fixedForm && second != std::string::npos) {
        return text.substr(first + 1, second - first - 1) + '/' + text.substr(0, first) +
               text.substr(second);
    }
    const std::size_t keep = std::min<std::size_t>(text.size(), 7);
    std::string result = text.substr(text.size() - keep);
    result.insert(std::min<std::size_t>(result.size(), 3), text.substr(0, 3));
    return result;
}

std::vector<DstRow> ReorderRows(const std::vector<DstRow>& rows) {
    std::vector<DstRow> result;
    result.reserve(rows.size());
    for (const DstRow& row : rows) result.push_back({ReorderText(row.begin), ReorderText(row.end)});
    return result;
}

// Widths: 4 or more give the four digits; 1 to 3 the last `width` digits (even
// non-zero leading digits are dropped); -1 the digits without leading zeros;
// any other negative width only the last digit. Values outside 1..9999 and
// width 0 give the empty text.
std::string FormatNumberText(int value, int width) {
    if (value < 1 || value > 9999 || width == 0) return {};
    const char digits[4] = {
        static_cast<char>('0' + value / 1000), static_cast<char>('0' + value / 100 % 10),
        static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
    const std::string_view all(digits, 4);
    if (width >= 4) return std::string(all);
    if (width > 0) return std::string(all.substr(4 - static_cast<std::size_t>(width)));
    if (width == -1) return std::string(all.substr(all.find_first_not_of('0')));
    return std::string(all.substr(3));
}

DstRow RecordToRow(const DstRecord& record, DateOrder order) {
    // Each byte is a signed 8-bit value: 128..255 read as -128..-1, which
    // FormatNumberText turns into an empty field (and a year byte of 255 into 1999).
    int value[5];
    std::transform(record.begin(), record.end(), value, [](std::uint8_t byte) {
        return static_cast<int>(static_cast<std::int8_t>(byte));
    });
    const std::string year = FormatNumberText(value[4] + 2000, 4);
    const auto text = [&](int day, int month) {
        return JoinDateText(FormatNumberText(day, 2), FormatNumberText(month, 2), year, order);
    };
    return {text(value[0], value[1]), text(value[2], value[3])};
}

}  // namespace velmora
