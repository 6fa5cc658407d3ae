#include "Profile.h"

namespace velmora {

// On Windows COMn is the port itself; the link opens it as \\.\COMn.
std::string DefaultComPortPath(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

}  // namespace velmora
