// What velmora-cli asks of the system, and says of it, that differs between
// Linux (Platform_unix.cpp) and Windows (Platform_win.cpp).
#pragma once

#include <string>
#include <vector>

namespace velmora::cli {

// The program's arguments after its name, in UTF-8 as every name of the
// program is. On Windows `argv` holds them in the ANSI code page, which has no
// room for most names: they are read from the UTF-16 command line instead.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the console show the UTF-8 the program prints (Windows' console shows
// the OEM code page unless told), and gives the console back as found when the
// program ends. Nothing to do on Linux.
void PrintUtf8();

// Whether standard error is a terminal (or console), where a progress bar
// may redraw itself in place.
bool StandardErrorIsTerminal();

// For a command that runs until interrupted: CatchInterrupts, before any other
// thread starts, makes Ctrl+C (SIGINT, SIGTERM on Linux; Ctrl+C, Ctrl+Break
// and closing the console on Windows) no longer end the program, and
// AwaitInterrupt then returns once one came.
void CatchInterrupts();
void AwaitInterrupt();

// The help's words for the default device of COMn, and for what `ports` lists:
// whole lines, laid out as the rest of the help.
extern const char* const kDefaultDeviceHelp;
extern const char* const kPortsListHelp;
// Where the record of uploads lives: a whole line of the help.
extern const char* const kRecordFileHelp;

}  // namespace velmora::cli
