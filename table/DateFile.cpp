#include "DateFile.h"

#include <algorithm>
#include <string_view>

#include "ReadFile.h"
#include "ReplaceFile.h"

namespace velmora {

bool ReadDateFile(const std::string& path, DateFileBytes& out) {
    std::string text;
    if (ReadFileStart(path, out.size(), text) != ReadOutcome::Read || text.size() < out.size()) {
        return false;
    }
    std::copy(text.begin(), text.end(), out.begin());
    return true;
}

bool WriteDateFile(const std::string& path, const DateFileBytes& bytes, ReplaceFailure* failure) {
    return ReplaceFileContents(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), failure);
}

std::string WithDstSuffix(const std::string& path) {
    if (path.ends_with(".dst")) return path;
    return path + ".dst";
}

// Rows past the fifteenth are not stored; a missing row leaves its five bytes 0
// (the window refuses to save fewer than fifteen rows before it gets here).
DateFileBytes RowsToFileBytes(const std::vector<DstRow>& rows, DateOrder order) {
    DateFileBytes bytes{};
    for (std::size_t i = 0; i < rows.size() && i < static_cast<std::size_t>(kMaxRows); ++i) {
        const DstRecord record = RowToRecord(rows[i], order);
        std::copy(record.begin(), record.end(), bytes.begin() + i * record.size());
    }
    return bytes;
}

std::vector<DstRow> FileBytesToRows(const DateFileBytes& bytes, DateOrder order) {
    std::vector<DstRow> rows;
    rows.reserve(kMaxRows);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kMaxRows); ++i) {
        DstRecord record;
        std::copy_n(bytes.begin() + i * record.size(), record.size(), record.begin());
        rows.push_back(RecordToRow(record, order));
    }
    return rows;
}

}  // namespace velmora
