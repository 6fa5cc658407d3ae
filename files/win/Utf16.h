// UTF-8, the program's strings, to and from the UTF-16 of Windows' own calls.
// Windows only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Nothing for bytes that are not UTF-8 or for a string holding a NUL: no name
// of the system is either.
inline std::optional<std::wstring> Utf16(std::string_view utf8) {
    if (utf8.find('\0') != std::string_view::npos || utf8.size() > 32767) return std::nullopt;
    if (utf8.empty()) return std::wstring();
    const int size = static_cast<int>(utf8.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length);
    return wide;
}

// Unpaired surrogates become U+FFFD.
inline std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace velmora
