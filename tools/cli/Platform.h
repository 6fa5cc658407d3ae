// What velmora-cli asks of the system, and says of it, that differs between
// Linux (Platform_unix.cpp) and Windows (Platform_win.cpp).
#pragma once

namespace velmora::cli {

// Whether standard error is a terminal (or console), where a progress bar
// may redraw itself in place.
bool StandardErrorIsTerminal();

// The help's words for the default device of COMn, and for what `ports` lists:
// whole lines, laid out as the rest of the help.
extern const char* const kDefaultDeviceHelp;
extern const char* const kPortsListHelp;

}  // namespace velmora::cli
