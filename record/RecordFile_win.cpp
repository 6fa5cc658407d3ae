// The record file on Windows: LockFileEx around the check, the move and the
// append; FILE_APPEND_DATA alone so that each write lands at the file's end.
#include <windows.h>
// The known folders after <windows.h>, which they build on.
#include <knownfolders.h>
#include <shlobj.h>

#include <optional>

#include "RecordFileSystem.h"
#include "win/SystemErrorText.h"
#include "win/SystemFile.h"
#include "win/Utf16.h"

namespace velmora::record_detail {
namespace {

std::string SystemWords(DWORD error) {
    std::string text = SystemMessage(error);
    if (text.empty()) return "error " + std::to_string(error);
    return text;
}

// The lock covers one byte far past any real record: Windows' locks bar
// reading and writing the bytes they cover, and the record's own bytes must
// stay readable for the history while a program appends.
OVERLAPPED LockPlace() {
    OVERLAPPED place{};
    place.OffsetHigh = 0x7FFFFFFF;
    return place;
}

std::optional<BY_HANDLE_FILE_INFORMATION> Identity(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
    return info;
}

// Whether `name` still names the file open as `file`.
bool StillNamed(const std::wstring& name, HANDLE file) {
    Handle named(CreateFileW(name.c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!named.Valid()) return false;
    const auto a = Identity(file);
    const auto b = Identity(named.Get());
    return a && b && a->dwVolumeSerialNumber == b->dwVolumeSerialNumber &&
           a->nFileIndexHigh == b->nFileIndexHigh && a->nFileIndexLow == b->nFileIndexLow;
}

// The file, locked for the time of one append.
class Locked {
  public:
    explicit Locked(HANDLE file) : m_file(file) {
        OVERLAPPED place = LockPlace();
        m_locked = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &place) != 0;
    }
    ~Locked() {
        if (!m_locked) return;
        OVERLAPPED place = LockPlace();
        UnlockFileEx(m_file, 0, 1, 0, &place);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    bool Held() const { return m_locked; }

  private:
    HANDLE m_file;
    bool m_locked = false;
};

}  // namespace

std::string StateFolder(std::string& reason) {
    std::wstring folder;
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && local[0] != L'\0') {
        folder = local;
    } else {
        wchar_t* known = nullptr;
        const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known);
        if (SUCCEEDED(result) && known != nullptr) folder = known;
        CoTaskMemFree(known);
        if (folder.empty()) {
            reason = "the system names no folder for local application data";
            return {};
        }
    }
    return Utf8(folder) + "\\Velmora";
}

bool AppendLocked(const std::string& path, const std::string& older, std::string_view line,
                  std::uint64_t limit, std::string& reason) {
    const auto fail = [&reason](DWORD error) {
        reason = SystemWords(error);
        return false;
    };
    const std::optional<std::wstring> name = SystemName(path);
    const std::optional<std::wstring> olderName = SystemName(older);
    if (!name || !olderName) {
        reason = "the name is not a file name";
        return false;
    }
    // Another program may move the file to the older name while this one
    // waits for the lock: the file then opened is no longer the record, and
    // the name is opened again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        Handle file(CreateFileW(name->c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return fail(GetLastError());
        const Locked lock(file.Get());
        if (!lock.Held()) return fail(GetLastError());
        if (!StillNamed(*name, file.Get())) continue;
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.Get(), &size)) return fail(GetLastError());
        const auto bytesNow = static_cast<std::uint64_t>(size.QuadPart);
        // A line cut short by a failure before (a full disk) is ended first,
        // so that this one stays a line of its own.
        char last = '\n';
        if (bytesNow > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>((bytesNow - 1) & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>((bytesNow - 1) >> 32);
            DWORD read = 0;
            if (!ReadFile(file.Get(), &last, 1, &read, &at) || read != 1) last = '\n';
        }
        const bool endLine = last != '\n';
        if (bytesNow > 0 && bytesNow + endLine + line.size() > limit) {
            // Moved under the lock: the next round begins a new file. Should the
            // move fail (a program holds the older file open), the line still
            // goes in and the file grows for now.
            if (MoveFileExW(name->c_str(), olderName->c_str(), MOVEFILE_REPLACE_EXISTING)) continue;
        }
        std::string bytes;
        bytes.reserve(line.size() + 1);
        if (endLine) bytes += '\n';
        bytes.append(line);
        if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get()))
            return fail(GetLastError());
        return true;
    }
    reason = "the file was moved away again and again";
    return false;
}

}  // namespace velmora::record_detail
