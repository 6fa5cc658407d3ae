// Who made the serial adapter behind a device, as far as the system tells:
// on Linux the USB device's ids, serial number, maker and product from the
// device model in /sys; on Windows the device manager's friendly name and
// hardware id. Linux: AdapterIdentity_unix.cpp, Windows: AdapterIdentity_win.cpp.
#pragma once

#include <optional>
#include <string>

namespace velmora {

// Each field is empty when the system does not give it: a built-in port, a
// pseudo-terminal or a device that is gone has none of them.
struct AdapterIdentity {
    std::optional<std::string> vendorId;      // USB vendor id, four hex digits ("0403")
    std::optional<std::string> productId;     // USB product id ("6001")
    std::optional<std::string> serial;        // the adapter's serial number
    std::optional<std::string> maker;         // the USB device's manufacturer string
    std::optional<std::string> product;       // the USB device's product string
    std::optional<std::string> friendlyName;  // "USB Serial Port (COM5)"
    std::optional<std::string> hardwareId;    // "FTDIBUS\COMPORT&VID_0403&PID_6001"

    bool Empty() const {
        return !vendorId && !productId && !serial && !maker && !product && !friendlyName &&
               !hardwareId;
    }
    bool operator==(const AdapterIdentity&) const = default;
};

// The adapter behind `devicePath` ("/dev/serial/by-id/usb-...", "/dev/ttyUSB0",
// "COM5", "\\.\COM5"). On Linux, links are followed to the device node and
// the device model under `sysRoot` is read (the tests pass a made-up tree);
// Windows ignores `sysRoot`. Never fails: what cannot be found is left out.
AdapterIdentity IdentifyAdapter(const std::string& devicePath, const std::string& sysRoot = "/sys");

}  // namespace velmora
