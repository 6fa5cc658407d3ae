// What differs between the two systems in the expectations of the suites that
// run on both: the default device of a COM port (any int maps to a
// name, one that will not open outside 1..8).
#pragma once

#include <string>

namespace velmora::test {

#ifdef _WIN32
inline const std::string kDefaultCom1 = "COM1";
inline const std::string kDefaultCom8 = "COM8";
inline const std::string kDefaultComIntMin = "COM-2147483648";
#else
inline const std::string kDefaultCom1 = "/dev/ttyS0";
inline const std::string kDefaultCom8 = "/dev/ttyS7";
inline const std::string kDefaultComIntMin = "/dev/ttyS-2147483649";  // no overflow
#endif

}  // namespace velmora::test
