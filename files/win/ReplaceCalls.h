// The two system calls that put a new file in place on Windows, taken through
// a table so that a test can make them fail as the system may (a virus scanner
// holding a file is the usual cause). Windows only.
#pragma once

#include <windows.h>

namespace velmora {

struct ReplaceCalls {
    decltype(&ReplaceFileW) replaceFile = &ReplaceFileW;
    decltype(&MoveFileExW) moveFile = &MoveFileExW;
};

// The calls ReplaceFileContents makes; the system's own unless a test changed them.
ReplaceCalls& SystemReplaceCalls();

}  // namespace velmora
