#include "Profile.h"

namespace velmora {

std::string DefaultComPortPath(int portNumber) {
    // Widened so that any int maps without overflow.
    return "/dev/ttyS" + std::to_string(static_cast<long long>(portNumber) - 1);
}

}  // namespace velmora
