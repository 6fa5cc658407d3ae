// What the members of a Windows serial link need. The handles are kept as the
// system's HANDLE is defined (void*), without <windows.h>: its macros bear the
// names of this header's constants (WM_USER, EV_RXCHAR, ...).
#pragma once

#include <memory>
#include <string>
