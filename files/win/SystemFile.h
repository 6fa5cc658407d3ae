// What the Windows file calls share: names of any length and handles that
// close themselves. Windows only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The name as the system's file calls take it at any length: absolute, with
// `\\?\` before it, so that a name longer than MAX_PATH (260) works without the
// system's long-path opt-in. Such a name is taken as it stands, so the full
// name is made first (relative parts, `.` and `..`, `/` for `\`). A device
// (NUL, COM1) stays one.
std::optional<std::wstring> SystemName(std::string_view utf8);

// A handle closed when its owner goes.
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

// Writes all of `bytes` to `file`, a megabyte at a time; false when the
// system refuses (GetLastError tells why).
inline bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() < (1u << 20) ? static_cast<DWORD>(bytes.size()) : 1u << 20;
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace velmora
