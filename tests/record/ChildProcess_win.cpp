#include <windows.h>

#include "ChildProcess.h"
#include "win/Utf16.h"

namespace velmora::test {

ChildProcess::ChildProcess(const std::vector<std::string>& args) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // The test's arguments hold no quotes or spaces at their ends: quoting
    // each is enough.
    std::wstring line = L"\"" + std::wstring(self) + L"\"";
    for (const std::string& arg : args) line += L" \"" + Utf16(arg).value() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return;
    CloseHandle(process.hThread);
    m_id = reinterpret_cast<long long>(process.hProcess);
}

ChildProcess::~ChildProcess() {
    Wait();
}

int ChildProcess::Wait() {
    if (m_id == -1) return -1;
    const HANDLE process = reinterpret_cast<HANDLE>(m_id);
    m_id = -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code))
        code = static_cast<DWORD>(-1);
    CloseHandle(process);
    return static_cast<int>(code);
}

namespace {

// The one byte, far past any record, that the programs lock.
OVERLAPPED LockPlace() {
    OVERLAPPED place{};
    place.OffsetHigh = 0x7FFFFFFF;
    return place;
}

}  // namespace

HeldRecordLock::HeldRecordLock(const std::string& path) {
    const HANDLE file = CreateFileW(Utf16(path).value().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    m_file = reinterpret_cast<long long>(file);
    OVERLAPPED place = LockPlace();
    m_held = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &place) != 0;
}

HeldRecordLock::~HeldRecordLock() {
    if (m_file != -1) CloseHandle(reinterpret_cast<HANDLE>(m_file));
}

}  // namespace velmora::test
