// The record of uploads on disk: one line per exchange (see UploadRecord.h),
// appended by whichever programs upload, read back for the history.
//
// A line is appended in one write and flushed, under an advisory lock that the
// programs take around the size check, the move to the older file and the
// append, so that two programs writing at once never interleave or lose a line.
// The file stays under kRecordFileLimit: the append that would pass it first
// moves the file to the older name (uploads.1.jsonl, replacing an older one)
// and begins a new file. Earlier lines are never rewritten.
//
// Linux: RecordFile_unix.cpp (flock, O_APPEND), Windows: RecordFile_win.cpp
// (LockFileEx, FILE_APPEND_DATA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "UploadRecord.h"

namespace velmora {

// The size the record file is kept under.
inline constexpr std::uint64_t kRecordFileLimit = std::uint64_t{4} * 1024 * 1024;

// Where the record lives: $XDG_STATE_HOME/velmora/uploads.jsonl (by default
// ~/.local/state/velmora/uploads.jsonl) on Linux,
// %LOCALAPPDATA%\Velmora\uploads.jsonl on Windows. Empty, with the reason,
// when the system names no such folder.
std::string DefaultRecordPath(std::string* reason = nullptr);

// The name the file's older lines move to: "uploads.jsonl" -> "uploads.1.jsonl".
std::string OlderRecordPath(const std::string& path);

// Appends the record's line to the file `path`, making its folders when they
// are missing. False, with the reason in the system's words, when the line
// could not be written; never throws.
bool AppendUploadRecord(const std::string& path, const UploadRecord& record,
                        std::string* reason = nullptr, std::uint64_t limit = kRecordFileLimit);
// The same for a line already made (its line feed included).
bool AppendRecordLine(const std::string& path, std::string_view line, std::string* reason = nullptr,
                      std::uint64_t limit = kRecordFileLimit);

struct RecordReading {
    std::vector<UploadRecord> records;  // oldest first, as written
    std::size_t skipped = 0;            // lines that were no record: cut short, or foreign
};

// The records of the older file, then those of `path`. A missing file holds
// none. False, with the reason, when a file is there but cannot be read; the
// records read before stay in `reading`.
bool ReadUploadRecords(const std::string& path, RecordReading& reading,
                       std::string* reason = nullptr);

}  // namespace velmora
