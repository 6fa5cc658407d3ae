// The serial devices present on this machine, and why a device could not be
// opened, in words a user can act on; the window and the command line share
// it. Linux: SerialPorts_unix.cpp, Windows: SerialPorts_win.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Where Linux shows its devices, its device model and its processes (Windows
// has none of these and ignores them). The tests pass a made-up tree.
struct SystemRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
    std::string proc = "/proc";
};

struct SerialDevice {
    std::string path;         // the name to open: /dev/serial/by-id/..., /dev/ttyUSB0
    std::string description;  // what the device model knows of it; may be empty
};

// The serial devices present: the stable names of /dev/serial/by-id first (an
// adapter keeps its name in any USB socket; links whose device is gone are left
// out), then /dev/ttyUSB*, /dev/ttyACM*, and the /dev/ttyS* that are real ports
// (the device model knows a UART there, shows a driver, or the serial ioctl
// answers). Each kind is in numeric order.
// On Windows: the ports of the registry's HARDWARE\DEVICEMAP\SERIALCOMM ("COM1"),
// in numeric order, each with the device manager's friendly name where it has
// one, else the kernel's name of the device ("\Device\Serial0").
std::vector<SerialDevice> ListSerialDevices(const SystemRoots& roots = {});

// Why `path` could not be opened as a port, given the system error of the open
// (as CSerialLink::OpenError reports it): one line, without the path. Names the
// group that owns a device the user may not use and the command that adds the
// user to it, and the program that holds a busy device when `roots.proc` says.
std::string DescribeOpenFailure(const std::string& path, int errorCode,
                                const SystemRoots& roots = {});

// On Windows: "not present", "in use by another program" (Windows opens a COM
// port for one program at a time), or the system's own text.

// What `path` is now, found without opening it: "present", or the reason it
// could not be opened. (Windows cannot tell a port in use without opening it.)
std::string DescribePresence(const std::string& path, const SystemRoots& roots = {});

// What two paths of one device have in common, so that one device named twice
// can be told: on Linux the path with its links followed ("/dev/serial/by-id/..."
// and "/dev/ttyUSB0" give the same); on Windows the port's name in capitals
// without the "\\.\" prefix ("com3" and "\\.\COM3" give "COM3").
std::string SameDeviceKey(const std::string& path);

// The path as a message shows it: control characters as escapes, so that a path
// holding a line feed cannot break the message in two.
std::string ShownPath(std::string_view path);

}  // namespace velmora
