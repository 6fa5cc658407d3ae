#include <windows.h>

#include <algorithm>
#include <optional>

#include "ReadFile.h"
#include "win/SystemFile.h"

namespace velmora {

ReadOutcome ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out) {
    const std::optional<std::wstring> name = SystemName(path);
    if (!name) return ReadOutcome::Missing;
    Handle file(CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
