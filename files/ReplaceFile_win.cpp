#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>

#include "ReplaceFile.h"
#include "win/ReplaceCalls.h"
#include "win/SystemErrorText.h"
#include "win/SystemFile.h"
#include "win/Utf16.h"

namespace velmora {

ReplaceCalls& SystemReplaceCalls() {
    static ReplaceCalls calls;
    return calls;
}

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

}  // namespace

std::optional<std::wstring> SystemName(std::string_view utf8) {
    const std::optional<std::wstring> wide = Utf16(utf8);
    if (!wide || wide->empty()) return std::nullopt;
    if (wide->starts_with(kLongPrefix) || wide->starts_with(kDevicePrefix)) return wide;
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::nullopt;
        const bool fitted = length < full.size();
        full.resize(length);
        if (fitted) break;
    }
    if (full.starts_with(kDevicePrefix) || full.starts_with(kLongPrefix)) return full;
    if (full.starts_with(L"\\\\")) return std::wstring(kUncPrefix) + full.substr(2);
    return std::wstring(kLongPrefix) + full;
}

namespace {

// A system name as the user knows it: without the prefix, in UTF-8.
std::string ShownName(std::wstring_view name) {
    if (name.starts_with(kUncPrefix)) return "\\\\" + Utf8(name.substr(kUncPrefix.size()));
    if (name.starts_with(kLongPrefix)) name.remove_prefix(kLongPrefix.size());
    return Utf8(name);
}

// The system's text for an error, without its closing full stop and line break.
std::string ReasonText(DWORD error) {
    std::string reason = SystemMessage(error);
    if (reason.empty()) return "error " + std::to_string(error);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}

bool IsReadOnly(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool Exists(const std::wstring& name) {
    return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file a name stands for: a symbolic link is followed to the file it
// names, which the contents then replace. Any other name, and one for which the
// system gives no final name, is the name itself. Nothing for a link that leads
// nowhere: replacing it would turn the link into a file.
std::optional<std::wstring> Followed(const std::wstring& name) {
    Handle file(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return std::nullopt;
        return name;
    }
    std::wstring final(name.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.Get(), final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return name;
        const bool fitted = length < final.size();
        final.resize(length);
        if (fitted) return final;
    }
}

// A new, empty file beside `path` (in its folder), open for writing in `file`; its name.
std::optional<std::wstring> CreateTempBeside(const std::wstring& path, Handle& file) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring temp = folder + L".velmora-" + std::to_wstring(seed()) + L".tmp";
        HANDLE handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.Reset(handle);
            return temp;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

// One move into `to`, tried five times over a fifth of a second: a virus
// scanner or an indexer that holds a file a moment is the usual reason a move
// fails.
bool MoveInto(const std::wstring& from, const std::wstring& to, DWORD flags) {
    for (int attempt = 1;; ++attempt) {
        if (SystemReplaceCalls().moveFile(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt == 5) return false;
        Sleep(50);
    }
}

// The new file `temp` takes the place of the old file `target`. ReplaceFileW
// keeps the old file's attributes and security. Given a backup name, it leaves
// the old file under its own name on every error but one,
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, after which the old file is the backup;
// the new one keeps the temporary name on every error. Where ReplaceFileW fails
// (another volume's rules, a file system without it, a file held open), a move
// that replaces the old file does the step; failing that, the old file goes
// back under its name. Only when neither can be put there are both kept.
bool PutInPlace(const std::wstring& target, const std::wstring& temp, ReplaceFailure* failure) {
    const std::wstring backup = temp + L".old";
    if (SystemReplaceCalls().replaceFile(target.c_str(), temp.c_str(), backup.c_str(),
                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
        MoveInto(temp, target, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(backup.c_str());
        return true;
    }
    if (failure) failure->reason = ReasonText(GetLastError());
    if (!Exists(target) && Exists(backup)) MoveInto(backup, target, 0);
    if (Exists(target)) {
        DeleteFileW(temp.c_str());
        DeleteFileW(backup.c_str());
        return false;
    }
    if (failure) {
        failure->newFile = ShownName(temp);
        if (Exists(backup)) failure->oldFile = ShownName(backup);
    }
    return false;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    const std::optional<std::wstring> name = SystemName(path);
    const std::optional<std::wstring> file = name ? Followed(*name) : std::nullopt;
    return file && IsReadOnly(GetFileAttributesW(file->c_str()));
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, ReplaceFailure* failure) {
    const auto fail = [failure](std::string why) {
        if (failure) failure->reason = std::move(why);
        return false;
    };
    const std::optional<std::wstring> name = SystemName(path);
    if (!name) return fail("the name is not a file name");
    const std::optional<std::wstring> target = Followed(*name);
    if (!target) return fail("it is a link that leads nowhere");
    const DWORD attributes = GetFileAttributesW(target->c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && IsReadOnly(attributes)) return fail("the file is read-only");
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return fail("it is a folder");

    Handle file(INVALID_HANDLE_VALUE);
    const std::optional<std::wstring> temp = CreateTempBeside(*target, file);
    if (!temp) return fail(ReasonText(GetLastError()));
    bool ok = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) != 0;
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!file.Close() && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && exists) return PutInPlace(*target, *temp, failure);
    // A new file: nothing under the name to keep or to lose.
    if (ok && MoveInto(*temp, *target, 0)) return true;
    if (ok) error = GetLastError();
    DeleteFileW(temp->c_str());
    return fail(ReasonText(error));
}

}  // namespace velmora
