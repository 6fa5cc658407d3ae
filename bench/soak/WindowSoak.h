// Part 2 of the soak: uploads from the main window (offscreen) by clicks on
// Send, each box closed with Return, the rows reloaded from a file now and then.
#pragma once

#include "SoakFigures.h"

namespace velmora::soak {

// Runs `uploads` uploads with a reply timeout of `timeoutMs` into `figures`.
void RunWindowSoak(int timeoutMs, int uploads, Figures& figures);

}  // namespace velmora::soak
