// The line of an exchange as a COM port's DCB, and its check against the
// settings the port reads back. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// Sets `dcb` (the settings read from the port) up for an exchange: the speed
// and framing of `settingsText` through BuildCommDCB, and, whatever the port
// held before, binary transfers with every byte kept (no null stripping, no
// error character, no abort on error, no DSR sensitivity), parity checked only
// with a parity, neither software nor hardware flow control, RTS on. DTR stays
// as found unless it was a handshake, a flow control too: then it is on.
// False when BuildCommDCB refuses the text (GetLastError tells why).
bool BuildLineSettings(const std::wstring& settingsText, DCB& dcb);

// The settings of `wanted` that `applied` (read back from the port) lacks,
// named for the user and separated by commas; empty when the port took them all.
std::string SettingsNotTaken(const DCB& wanted, const DCB& applied);

}  // namespace velmora
