// What differs between the two systems in the expectations of the suites that
// run on both: the default device of a COM port (any int maps to a
// name, one that will not open outside 1..8), and whether a folder's
// permission bits keep files out of it (Windows ignores a folder's read-only
// attribute), the folder separator and the line end of a new settings file.
#pragma once

#include <string>

namespace velmora::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
inline const std::string kDefaultCom1 = "COM1";
inline const std::string kDefaultCom8 = "COM8";
inline const std::string kDefaultComIntMin = "COM-2147483648";
inline constexpr bool kFolderPermissionsHold = false;
inline const std::string kSeparator = "\\";
inline const std::string kNewLine = "\r\n";
#else
inline constexpr bool kWindows = false;
inline const std::string kDefaultCom1 = "/dev/ttyS0";
inline const std::string kDefaultCom8 = "/dev/ttyS7";
inline const std::string kDefaultComIntMin = "/dev/ttyS-2147483649";  // no overflow
inline constexpr bool kFolderPermissionsHold = true;
inline const std::string kSeparator = "/";
inline const std::string kNewLine = "\n";
#endif

}  // namespace velmora::test
