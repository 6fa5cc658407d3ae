// The system's own text for a Win32 error code, in UTF-8, for the file calls
// and the serial link alike. Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win/Utf16.h"

namespace velmora {

// The text as the system gives it, closing line break included; empty for a
// code the system has no text for.
inline std::string SystemMessage(DWORD errorCode) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result;
    if (length > 0 && text != nullptr) result = Utf8(std::wstring_view(text, length));
    if (text != nullptr) LocalFree(text);
    return result;
}

// A text that ends in a line break of its own keeps it; a code the system has
// no text for gives "Unknown error N".
inline std::string SystemErrorText(DWORD errorCode) {
    std::string text = SystemMessage(errorCode);
    if (text.empty()) return "Unknown error " + std::to_string(errorCode);
    return text;
}

}  // namespace velmora
