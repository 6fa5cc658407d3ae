// Any bytes as a ".dst" file: loading never reads past a text's end, and the
// rows it builds save back to the bytes their texts can carry, in either date
// order and after the rows were rewritten for the other order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DateFile.h"
#include "DateTable.h"
#include "FuzzSupport.h"

namespace {

using namespace velmora;

// What a loaded text shows of each byte, and so what saving it gives back: a
// day or month byte read as a signed value 1..127 keeps its last two digits,
// anything else leaves the field empty (saved as 0); the year keeps the last
// two digits of 2000 plus the signed byte (255 -> 1999 -> 99, 127 -> 2127 -> 27).
// A record whose bytes are 1..99 and a year 0..99 therefore comes back unchanged.
DateFileBytes WhatTheTextsCarry(const DateFileBytes& bytes) {
    DateFileBytes shown{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int value = static_cast<std::int8_t>(bytes[i]);
        const bool yearByte = i % 5 == 4;
        if (yearByte)
            shown[i] = static_cast<std::uint8_t>((2000 + value) % 100);
        else
            shown[i] = static_cast<std::uint8_t>(value >= 1 ? value % 100 : 0);
    }
    return shown;
}

// A loaded text is two fields of two digits or none, then a four-digit year.
bool IsLoadedText(const std::string& text) {
    const std::size_t first = text.find('/');
    const std::size_t second = text.find('/', first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    const std::string_view year = std::string_view(text).substr(second + 1);
    return (first == 0 || first == 2) && (second - first - 1 == 0 || second - first - 1 == 2) &&
           year.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
               return c == '/' || (c >= '0' && c <= '9');
           });
}

void CheckFileReading(std::string_view input) {
    const fuzz::MemoryFile& file = fuzz::Memory();
    FUZZ_CHECK(file.Hold(input));
    DateFileBytes loaded;
    loaded.fill(0xA5);
    const DateFileBytes untouched = loaded;
    if (ReadDateFile(file.Path(), loaded)) {
        FUZZ_CHECK(input.size() >= kDateFileSize);
        FUZZ_CHECK(
            std::equal(loaded.begin(), loaded.end(), input.begin(),
                       [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    } else {
        FUZZ_CHECK(input.size() < kDateFileSize);
        FUZZ_CHECK(loaded == untouched);
    }
}

// The rows in each order; each order's rows save back the bytes the texts
// carry, and rewriting them for the other order gives what loading in that
// order gives, short texts included (so rewriting twice restores them).
void CheckRoundTrips(const DateFileBytes& bytes) {
    const DateFileBytes shown = WhatTheTextsCarry(bytes);
    const std::vector<DstRow> rows[2] = {FileBytesToRows(bytes, 0), FileBytesToRows(bytes, 1)};
    for (const DateOrder order : {0, 1}) {
        const std::vector<DstRow>& these = rows[order];
        FUZZ_CHECK(these.size() == static_cast<std::size_t>(kMaxRows));
        for (const DstRow& row : these)
            FUZZ_CHECK(IsLoadedText(row.begin) && IsLoadedText(row.end));
        FUZZ_CHECK(RowsToFileBytes(these, order) == shown);
        FUZZ_CHECK(ReorderRows(these) == rows[1 - order]);
    }
}

// Texts of any shape, as a row could hold them: the record and the reorder
// read no character past a text's end, and a text with two slashes is
// restored by reordering it twice.
void CheckAnyTexts(std::string_view tail) {
    std::vector<std::string> texts;
    while (!tail.empty() && texts.size() < 16) {
        const std::size_t newline = tail.find('\n');
        texts.emplace_back(tail.substr(0, newline));
        tail.remove_prefix(newline == std::string_view::npos ? tail.size() : newline + 1);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const DstRow row{texts[i], texts[(i + 1) % texts.size()]};
        static_cast<void>(RowToRecord(row, 0));
        static_cast<void>(RowToRecord(row, 1));
        const std::string reordered = ReorderText(texts[i]);
        if (std::count(texts[i].begin(), texts[i].end(), '/') >= 2)
            FUZZ_CHECK(ReorderText(reordered) == texts[i]);
    }
}

}  // namespace

// The file and up to 181 bytes of texts after it.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    velmora::fuzz::DefaultMaxLen(argc, argv, 256);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckFileReading(input);

    // The first 75 bytes, zeros after a shorter input.
    DateFileBytes bytes{};
    std::copy_n(data, std::min(size, kDateFileSize), bytes.begin());
    CheckRoundTrips(bytes);

    if (size > kDateFileSize) CheckAnyTexts(input.substr(kDateFileSize));
    return 0;
}
