// velmora-devsim: a stand-in for the device on a pseudo-terminal. It prints the
// terminal's path, then answers every good 12-byte frame it receives with 15
// bytes ending in 0x00, or in one of the faulty ways chosen on the command line.
#include "Options.h"
#include "PtySimulator.h"

int main(int argc, char** argv) {
    velmora::Options options;
    if (!velmora::ParseOptions(argc, argv, options)) {
        return 2;
    }
    if (!velmora::InstallStopSignals()) {
        return 1;
    }
    velmora::PtySimulator simulator(options);
    if (!simulator.Open()) {
        return 1;
    }
    return simulator.Run();
}
