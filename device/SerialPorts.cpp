#include "SerialPorts.h"

namespace velmora {

std::string ShownPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xf]);
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace velmora
