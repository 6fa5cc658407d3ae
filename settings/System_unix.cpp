#include "Profile.h"

namespace velmora {

std::string DefaultComPortPath(int portNumber) {
    // Widened so that any int maps without overflow.
    return "/dev/ttyS" + std::to_string(static_cast<long long>(portNumber) - 1);
}

std::string ProfilePathIn(const std::string& directory) {
    return directory + (directory.ends_with('/') ? "" : "/") + "Velmora.ini";
}

std::string_view NewProfileLineEnding() {
    return "\n";
}

}  // namespace velmora
