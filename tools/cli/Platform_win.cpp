#include <windows.h>
// After windows.h:
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "Platform.h"
#include "win/Utf16.h"

namespace velmora::cli {

// CommandLineToArgvW splits as the C run-time splits `argv` (and as Qt splits
// the same command line for QCoreApplication).
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

void PrintUtf8() {
    static const UINT previous = GetConsoleOutputCP();  // 0 without a console
    if (previous == 0 || previous == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
    std::atexit([] { SetConsoleOutputCP(previous); });
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

namespace {

HANDLE InterruptEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Runs on a thread of its own; returning TRUE keeps the process alive until
// main returns (closing the console still ends it some seconds later).
BOOL WINAPI OnConsoleControl(DWORD /*type*/) {
    SetEvent(InterruptEvent());
    return TRUE;
}

}  // namespace

void CatchInterrupts() {
    InterruptEvent();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void AwaitInterrupt() {
    WaitForSingleObject(InterruptEvent(), INFINITE);
}

const char* const kDefaultDeviceHelp =
    "                    keys \"COM1\"..\"COM8\" of Velmora.ini, else the port COMn)\n";
const char* const kPortsListHelp =
    "Lists the serial ports of the registry (HARDWARE\\DEVICEMAP\\SERIALCOMM) with\n"
    "Windows' friendly name of each, then the device of COM1 to COM8 by\n"
    "Velmora.ini in the current directory and whether it can be opened.\n";
const char* const kRecordFileHelp = "  %LOCALAPPDATA%\\Velmora\\uploads.jsonl\n";

}  // namespace velmora::cli
