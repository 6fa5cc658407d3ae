// Part 2 of the soak: four ports at once, as velmora-cli runs them, each port
// its own exchange controller and its own simulators, the device's behaviour
// rotating on each port independently of the others.
#pragma once

#include "SoakFigures.h"

namespace velmora::soak {

// Runs at least `exchangesPerPort` exchanges on each of four ports, all four
// at once in one event loop, with a reply timeout of `timeoutMs`, into `figures`.
void RunPortsSoak(int timeoutMs, int exchangesPerPort, Figures& figures);

}  // namespace velmora::soak
