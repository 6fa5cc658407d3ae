#include <io.h>

#include <cstdio>

#include "Platform.h"

namespace velmora::cli {

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

const char* const kDefaultDeviceHelp =
    "                    keys \"COM1\"..\"COM8\" of Velmora.ini, else the port COMn)\n";
const char* const kPortsListHelp =
    "Lists the serial ports of the registry (HARDWARE\\DEVICEMAP\\SERIALCOMM) with\n"
    "Windows' friendly name of each, then the device of COM1 to COM8 by\n"
    "Velmora.ini in the current directory and whether it can be opened.\n";

}  // namespace velmora::cli
