#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>

#include "ReplaceFile.h"
#include "win/Utf16.h"

namespace velmora {
namespace {

std::optional<std::wstring> Wide(std::string_view utf8) {
    std::optional<std::wstring> wide = Utf16(utf8);
    if (wide && wide->empty()) return std::nullopt;
    return wide;
}

bool IsReadOnly(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_handle; }
    void Reset(HANDLE handle) {
        Close();
        m_handle = handle;
    }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Close() {
        const bool closed = !Valid() || CloseHandle(m_handle) != 0;
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
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

// The system's text for an error, without its closing full stop and line break.
std::string ReasonText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? Utf8(std::wstring_view(text, length))
                                                       : "error " + std::to_string(error);
    if (text != nullptr) LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    const std::optional<std::wstring> wide = Wide(path);
    return wide && IsReadOnly(GetFileAttributesW(wide->c_str()));
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* whyNot) {
    const auto fail = [whyNot](std::string why) {
        if (whyNot != nullptr) *whyNot = std::move(why);
        return false;
    };
    const std::optional<std::wstring> target = Wide(path);
    if (!target) return fail("the name is not valid UTF-8");
    const DWORD attributes = GetFileAttributesW(target->c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && IsReadOnly(attributes)) return fail("the file is read-only");
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return fail("it is a folder");

    Handle file(INVALID_HANDLE_VALUE);
    const std::optional<std::wstring> temp = CreateTempBeside(*target, file);
    if (!temp) return fail(ReasonText(GetLastError()));
    bool ok = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) != 0;
    ok = file.Close() && ok;
    // ReplaceFileW keeps the old file's attributes and security; where it
    // cannot (another volume's rules, a file system without it), one move
    // that replaces the old file does the same step.
    if (ok && exists) {
        ok = ReplaceFileW(target->c_str(), temp->c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr) != 0 ||
             MoveFileExW(temp->c_str(), target->c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    } else if (ok) {
        ok = MoveFileExW(temp->c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) {
        const DWORD error = GetLastError();
        DeleteFileW(temp->c_str());
        return fail(ReasonText(error));
    }
    return true;
}

ReadOutcome ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) return ReadOutcome::Missing;
    Handle file(CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? ReadOutcome::Missing
                   : ReadOutcome::Unusable;
    }
    // Only a file on a disk: a pipe or a device could keep the read waiting.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return ReadOutcome::Unusable;
    std::string text;
    char piece[4096];
    while (text.size() < maxBytes) {
        const DWORD wanted = static_cast<DWORD>(std::min(sizeof piece, maxBytes - text.size()));
        DWORD got = 0;
        if (!ReadFile(file.Get(), piece, wanted, &got, nullptr)) return ReadOutcome::Unusable;
        if (got == 0) break;
        text.append(piece, got);
    }
    out = std::move(text);
    return ReadOutcome::Read;
}

}  // namespace velmora
