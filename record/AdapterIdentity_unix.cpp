// The USB adapter behind a tty, from the device model in /sys.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "AdapterIdentity.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The first line of a small attribute file, trimmed; nothing when it is
// missing, unreadable or blank.
std::optional<std::string> Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.back())) line.pop_back();
    std::size_t start = 0;
    while (start < line.size() && blank(line[start])) ++start;
    line.erase(0, start);
    if (line.empty()) return std::nullopt;
    return line;
}

}  // namespace

AdapterIdentity IdentifyAdapter(const std::string& devicePath, const std::string& sysRoot) {
    AdapterIdentity identity;
    std::error_code error;
    // "/dev/serial/by-id/usb-..." -> "/dev/ttyUSB0" -> "ttyUSB0".
    const fs::path node = fs::canonical(devicePath, error);
    if (error || node.filename().empty()) return identity;
    const fs::path root = fs::canonical(sysRoot, error);
    if (error) return identity;
    fs::path device = fs::canonical(root / "class" / "tty" / node.filename() / "device", error);
    if (error) return identity;
    // The USB device sits a level or two above the interface that serves the
    // tty (usb-serial drivers add a level of their own); nothing above the
    // device model's root is looked at.
    for (int level = 0; level < 5 && device != root && device.has_relative_path();
         ++level, device = device.parent_path()) {
        identity.vendorId = Attribute(device / "idVendor");
        if (!identity.vendorId) continue;
        identity.productId = Attribute(device / "idProduct");
        identity.serial = Attribute(device / "serial");
        identity.maker = Attribute(device / "manufacturer");
        identity.product = Attribute(device / "product");
        return identity;
    }
    return identity;
}

}  // namespace velmora
