// Part 1 of the soak: exchanges through the exchange controller against
// velmora-devsim, rotating the device's behaviour, uploads and DST Deletes,
// with and without early judgement; every verdict compared with the one the
// device's answer calls for.
#pragma once

#include "SoakFigures.h"

namespace velmora::soak {

// Runs `exchanges` exchanges with a reply timeout of `timeoutMs` into
// `figures`; returns how many link errors (hang-ups) were shown.
int RunControllerSoak(int timeoutMs, int exchanges, Figures& figures);

}  // namespace velmora::soak
