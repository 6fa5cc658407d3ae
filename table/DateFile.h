// The ".dst" date file: fifteen five-byte records, 75 bytes, no header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "DateTable.h"
#include "ReplaceFile.h"

namespace velmora {

constexpr std::size_t kDateFileSize = 75;
using DateFileBytes = std::array<std::uint8_t, kDateFileSize>;

// Reads the first 75 bytes of a file. Returns false (and leaves `out` untouched)
// when the file cannot be opened or read, or holds fewer than 75 bytes.
bool ReadDateFile(const std::string& path, DateFileBytes& out);

// Writes 75 bytes through a temporary file in the same folder, flushed and then
// renamed over `path`. Returns false on any failure, and for a read-only file;
// an existing file is then left exactly as it was and no temporary file remains,
// unless (on Windows) neither file could be put under the name: `failure` then
// names the files that hold the new table and the old one.
bool WriteDateFile(const std::string& path, const DateFileBytes& bytes,
                   ReplaceFailure* failure = nullptr);

// Appends ".dst" unless the last four characters are exactly ".dst" (case-sensitive).
std::string WithDstSuffix(const std::string& path);

// Fifteen rows -> 75 bytes (row to record for each row, in order).
DateFileBytes RowsToFileBytes(const std::vector<DstRow>& rows, DateOrder order);

// 75 bytes -> fifteen rows as Open shows them in the given order.
std::vector<DstRow> FileBytesToRows(const DateFileBytes& bytes, DateOrder order);

}  // namespace velmora
