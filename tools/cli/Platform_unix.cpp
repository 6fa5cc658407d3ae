#include <signal.h>
#include <unistd.h>

#include "Platform.h"

namespace velmora::cli {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrintUtf8() {}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

namespace {

sigset_t Interrupts() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

// Blocked in this thread, and so in every thread started from it later, the
// signals stay pending until sigwait takes them.
void CatchInterrupts() {
    const sigset_t signals = Interrupts();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void AwaitInterrupt() {
    const sigset_t signals = Interrupts();
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
}

const char* const kDefaultDeviceHelp =
    "                    keys \"COM1\"..\"COM8\" of Velmora.ini, else /dev/ttyS0..7)\n";
const char* const kPortsListHelp =
    "Lists the serial devices present (stable names of /dev/serial/by-id first,\n"
    "then /dev/ttyUSB*, /dev/ttyACM* and the real /dev/ttyS*) with what the\n"
    "system knows of each, then the device of COM1 to COM8 by Velmora.ini in\n"
    "the current directory and whether it can be opened.\n";
const char* const kRecordFileHelp =
    "  $XDG_STATE_HOME/velmora/uploads.jsonl (~/.local/state/velmora/ by default)\n";

}  // namespace velmora::cli
