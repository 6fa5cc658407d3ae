#include "RecordFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "RecordFileSystem.h"
#include "ReplaceFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string Utf8Name(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// The system's words without a closing full stop or line break.
std::string Trimmed(std::string text) {
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

bool ReadOne(const std::string& path, RecordReading& reading, std::string* reason) {
    std::error_code error;
    const fs::path name = FileSystemPath(path);
    if (!fs::exists(name, error)) {
        if (!error) return true;
        if (reason) *reason = Trimmed(error.message());
        return false;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        if (reason) *reason = "cannot be opened";
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (std::optional<UploadRecord> record = ParseRecordLine(line)) {
            reading.records.push_back(std::move(*record));
        } else {
            ++reading.skipped;
        }
    }
    if (in.bad()) {
        if (reason) *reason = "reading failed";
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultRecordPath(std::string* reason) {
    std::string why;
    const std::string folder = record_detail::StateFolder(why);
    if (folder.empty()) {
        if (reason) *reason = why;
        return {};
    }
    return Utf8Name(FileSystemPath(folder) / "uploads.jsonl");
}

std::string OlderRecordPath(const std::string& path) {
    fs::path name = FileSystemPath(path);
    const fs::path stem = name.stem();
    const fs::path extension = name.extension();
    name.replace_filename(stem.u8string() + u8".1" + extension.u8string());
    return Utf8Name(name);
}

bool AppendRecordLine(const std::string& path, std::string_view line, std::string* reason,
                      std::uint64_t limit) {
    std::string why;
    bool written = false;
    try {
        std::error_code error;
        const fs::path folder = FileSystemPath(path).parent_path();
        // The folders made here are the user's alone (0700 on Linux), as the
        // rules of the state folder ask; a folder already there stays as it is.
        std::vector<fs::path> missing;
        for (fs::path name = folder; !name.empty() && !fs::exists(name, error) && !error;
             name = name.parent_path()) {
            missing.push_back(name);
            if (name == name.parent_path()) break;
        }
        error.clear();
        if (!folder.empty()) fs::create_directories(folder, error);
        for (const fs::path& made : missing) {
            std::error_code ignored;
            if (!error)
                fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace, ignored);
        }
        if (error) {
            why = Trimmed(error.message());
        } else {
            written = record_detail::AppendLocked(path, OlderRecordPath(path), line, limit, why);
        }
    } catch (const std::exception& exception) {
        why = exception.what();
    } catch (...) {
        why = "unknown failure";
    }
    if (!written && reason) *reason = why.empty() ? "unknown failure" : Trimmed(why);
    return written;
}

bool AppendUploadRecord(const std::string& path, const UploadRecord& record, std::string* reason,
                        std::uint64_t limit) {
    std::string line;
    try {
        line = EncodeRecordLine(record);
    } catch (...) {
        if (reason) *reason = "out of memory";
        return false;
    }
    return AppendRecordLine(path, line, reason, limit);
}

bool ReadUploadRecords(const std::string& path, RecordReading& reading, std::string* reason) {
    return ReadOne(OlderRecordPath(path), reading, reason) && ReadOne(path, reading, reason);
}

}  // namespace velmora
