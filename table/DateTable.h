// The DST date table: date texts, the five-byte record of a row, and the
// rewriting of texts when the date order changes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// 0 = day first, any other value = month first.
using DateOrder = int;

inline bool IsMonthFirst(DateOrder order) {
    return order != 0;
}

// One table row: the begin date text (column 0) and the end date text (column 1).
struct DstRow {
    std::string begin;
    std::string end;
    bool operator==(const DstRow&) const = default;
};

// begin day, begin month, end day, end month, year - 2000 (from the end text).
using DstRecord = std::array<std::uint8_t, 5>;

constexpr int kMaxRows = 15;

// The text that Add composes for a date: "dd/MM/yyyy" or "MM/dd/yyyy"; day and
// month below 10 get a leading '0', the year is printed with "%d".
std::string ComposeDateText(int day, int month, int year, DateOrder order);

// Row to record. Ten-character texts are read at the fixed positions 0,1 / 3,4 /
// 8,9; shorter texts field by field between the slashes (an empty field gives 0).
// Never reads past the end of a text.
DstRecord RowToRecord(const DstRow& row, DateOrder order);

// The reorder rule for one text: its last seven characters with its first three
// inserted at position 3 (a text shorter than seven counts whole as its last seven).
// A text with two slashes that is not in the ten-character form has its two
// leading fields swapped instead, so that its record survives the change.
std::string ReorderText(const std::string& text);

// Every row rewritten with ReorderText, in the same order.
std::vector<DstRow> ReorderRows(const std::vector<DstRow>& rows);

// Number 1..9999 to zero-padded decimal text shaped by width (see the .cpp for the table).
std::string FormatNumberText(int value, int width);

// Record to row as the date file's Open builds it; each byte is taken as a signed
// 8-bit value (128..255 read as -128..-1).
DstRow RecordToRow(const DstRecord& record, DateOrder order);

}  // namespace velmora
