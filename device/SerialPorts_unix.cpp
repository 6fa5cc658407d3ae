// The serial devices of Linux: /dev, the device model in /sys, and /proc.
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "SerialPorts.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The first line of a small text file of the device model, trimmed; empty when
// it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.back())) line.pop_back();
    while (!line.empty() && blank(line.front())) line.erase(line.begin());
    return line;
}

std::optional<fs::path> Resolved(const fs::path& link) {
    std::error_code error;
    fs::path target = fs::canonical(link, error);
    if (error) return std::nullopt;
    return target;
}

// "ttyUSB12" -> 12 for the prefix "ttyUSB"; nothing for any other name.
std::optional<int> NumberAfter(const std::string& name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    int number = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9' || number > 100000) return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// The UART types of the serial driver, by the number its "type" attribute shows.
std::string UartName(int type) {
    static constexpr const char* kNames[] = {"",       "8250",  "16450",   "16550", "16550A",
                                             "Cirrus", "16650", "16650V2", "16750", "Startech",
                                             "16C950", "16654", "16850",   "RSA"};
    if (type > 0 && type < static_cast<int>(std::size(kNames))) {
        return std::string("UART ") + kNames[type];
    }
    return "UART type " + std::to_string(type);
}

// What the device model says of tty `name`: the USB adapter's maker, product and
// ids for a USB device, the UART for a built-in port.
std::string DescribeTty(const SystemRoots& roots, const std::string& name) {
    const fs::path tty = fs::path(roots.sys) / "class" / "tty" / name;
    std::optional<fs::path> device = Resolved(tty / "device");
    // The USB device sits a level or two above the interface that serves the tty.
    for (int level = 0; device && level < 4; ++level, device = device->parent_path()) {
        const std::string vendor = ReadAttribute(*device / "idVendor");
        if (vendor.empty()) continue;
        std::string text;
        for (const char* attribute : {"manufacturer", "product"}) {
            const std::string value = ReadAttribute(*device / attribute);
            if (value.empty()) continue;
            if (!text.empty()) text += ' ';
            text += value;
        }
        if (!text.empty()) text += ' ';
        text.append("(").append(vendor).append(":");
        return text.append(ReadAttribute(*device / "idProduct")).append(")");
    }
    const std::string type = ReadAttribute(tty / "type");
    if (int number = 0;
        !type.empty() && type != "0" &&
        std::from_chars(type.data(), type.data() + type.size(), number).ec == std::errc()) {
        return UartName(number);
    }
    if (const auto driver = Resolved(tty / "device" / "driver")) return driver->filename();
    return {};
}

// A /dev/ttyS* node is a port only where there is a UART behind it: the driver
// creates nodes for ports that may not exist.
bool IsRealBuiltInPort(const SystemRoots& roots, const std::string& name, const fs::path& node) {
    const fs::path tty = fs::path(roots.sys) / "class" / "tty" / name;
    const std::string type = ReadAttribute(tty / "type");
    if (!type.empty()) return type != "0";
    if (const auto subsystem = Resolved(tty / "device" / "subsystem")) {
        if (subsystem->filename() != "platform" && Resolved(tty / "device" / "driver")) {
            return true;
        }
    }
    const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct serial{};
    const bool answers = ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
    close(fd);
    return answers;
}

std::vector<fs::path> EntriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct UserInfo {
    std::string name;
    gid_t group = 0;
};

std::optional<UserInfo> CurrentUser() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return std::nullopt;
    }
    return UserInfo{entry.pw_name, entry.pw_gid};
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return std::to_string(gid);
    }
    return entry.gr_name;
}

bool ProcessHasGroup(gid_t gid) {
    if (getegid() == gid) return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(count, 0), gid) !=
           groups.begin() + std::max(count, 0);
}

// Whether the user is in the group by the system's account files, whether or
// not this login already has it.
bool UserIsListedIn(const UserInfo& user, gid_t gid) {
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user.name.c_str(), user.group, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(user.name.c_str(), user.group, groups.data(), &count) < 0) return false;
    }
    return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

std::string NoPermission(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "no permission";
    const std::string group = GroupName(info.st_gid);
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        return "no permission: only its owner may use it (group " + group + " has no access)";
    }
    const std::optional<UserInfo> user = CurrentUser();
    const std::string name = user ? user->name : "$USER";
    if (user && UserIsListedIn(*user, info.st_gid) && !ProcessHasGroup(info.st_gid)) {
        return "no permission: it belongs to group " + group + "; " + name +
               " was added to that group after logging in: log out and in again";
    }
    return "no permission: it belongs to group " + group +
           "; add yourself with: sudo usermod -aG " + group + " " + name +
           " (then log out and in again)";
}

// The processes that hold a lock on the file `wanted`, by the kernel's table of
// locks: "1: FLOCK  ADVISORY  WRITE 4242 00:19:7 0 EOF".
std::vector<std::string> LockingPids(const struct stat& wanted, const SystemRoots& roots) {
    std::vector<std::string> pids;
    std::ifstream locks(fs::path(roots.proc) / "locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, type, advisory, mode, pid, file;
        if (!(fields >> id >> type >> advisory >> mode >> pid >> file) || type == "->") continue;
        // major:minor in hex, then the inode in decimal.
        unsigned deviceMajor = 0;
        unsigned deviceMinor = 0;
        unsigned long long inode = 0;
        const char* at = file.data();
        const char* end = file.data() + file.size();
        auto read = std::from_chars(at, end, deviceMajor, 16);
        if (read.ec != std::errc() || read.ptr == end || *read.ptr != ':') continue;
        read = std::from_chars(read.ptr + 1, end, deviceMinor, 16);
        if (read.ec != std::errc() || read.ptr == end || *read.ptr != ':') continue;
        read = std::from_chars(read.ptr + 1, end, inode);
        if (read.ec == std::errc() && inode == wanted.st_ino &&
            deviceMajor == major(wanted.st_dev) && deviceMinor == minor(wanted.st_dev)) {
            pids.push_back(pid);
        }
    }
    return pids;
}

// The programs that have `path` open, as "name (pid N)", by the descriptors
// that the process folders show this user; those that lock it, when the
// kernel's table of locks names any.
std::string Holders(const std::string& path, const SystemRoots& roots) {
    struct stat wanted {};
    if (stat(path.c_str(), &wanted) != 0) return {};
    const std::vector<std::string> locking = LockingPids(wanted, roots);
    std::vector<std::pair<std::string, std::string>> holders;  // pid, name
    for (const fs::path& process : EntriesOf(roots.proc)) {
        const std::string pid = process.filename();
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        for (const fs::path& descriptor : EntriesOf(process / "fd")) {
            struct stat info {};
            if (stat(descriptor.c_str(), &info) != 0) continue;
            const bool same = S_ISCHR(wanted.st_mode)
                                  ? S_ISCHR(info.st_mode) && info.st_rdev == wanted.st_rdev
                                  : info.st_dev == wanted.st_dev && info.st_ino == wanted.st_ino;
            if (!same) continue;
            holders.emplace_back(pid, ReadAttribute(process / "comm"));
            break;
        }
    }
    const bool lockKnown = std::any_of(holders.begin(), holders.end(), [&](const auto& holder) {
        return std::find(locking.begin(), locking.end(), holder.first) != locking.end();
    });
    std::string text;
    for (const auto& [pid, name] : holders) {
        if (lockKnown && std::find(locking.begin(), locking.end(), pid) == locking.end()) continue;
        if (!text.empty()) text += ", ";
        text.append(name).append(" (pid ").append(pid).append(")");
    }
    return text;
}

std::string NotASerialDevice(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "not a serial device";
    if (S_ISDIR(info.st_mode)) return "not a serial device: it is a folder";
    if (S_ISFIFO(info.st_mode)) return "not a serial device: it is a FIFO";
    if (S_ISREG(info.st_mode)) return "not a serial device: it is a regular file";
    if (S_ISSOCK(info.st_mode)) return "not a serial device: it is a socket";
    return "not a serial device: it is a device that is not a terminal";
}

std::string NotPresent(const std::string& path) {
    // Names that come and go with a USB adapter get a hint.
    const bool adapter = path.find("USB") != std::string::npos ||
                         path.find("ACM") != std::string::npos ||
                         path.find("/serial/") != std::string::npos;
    const std::string hint = adapter ? " (is the adapter plugged in?)" : "";
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::error_code error;
        const fs::path target = fs::read_symlink(path, error);
        return "not present: it links to " + ShownPath(target.string()) + ", which does not exist" +
               hint;
    }
    return "not present: no such device" + hint;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const SystemRoots& roots) {
    std::vector<SerialDevice> devices;
    for (const fs::path& link : EntriesOf(fs::path(roots.dev) / "serial" / "by-id")) {
        const std::optional<fs::path> target = Resolved(link);
        if (!target) continue;  // the adapter has gone; the link is stale
        std::string description = DescribeTty(roots, target->filename());
        description += (description.empty() ? "" : ", ") + target->string();
        devices.push_back({link.string(), description});
    }

    const std::vector<fs::path> nodes = EntriesOf(roots.dev);
    for (const std::string_view prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        std::vector<std::pair<int, fs::path>> numbered;
        for (const fs::path& node : nodes) {
            if (const auto number = NumberAfter(node.filename(), prefix)) {
                numbered.emplace_back(*number, node);
            }
        }
        std::sort(numbered.begin(), numbered.end());
        for (const auto& [number, node] : numbered) {
            const std::string name = node.filename();
            if (prefix == "ttyS" && !IsRealBuiltInPort(roots, name, node)) continue;
            devices.push_back({node.string(), DescribeTty(roots, name)});
        }
    }
    return devices;
}

std::string DescribeOpenFailure(const std::string& path, int errorCode, const SystemRoots& roots) {
    switch (errorCode) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
            return NotPresent(path);
        case ENXIO:
        case ENODEV:
        case EIO:
            return "not present: no hardware answers behind this device";
        case EACCES:
        case EPERM:
            return NoPermission(path);
        case EBUSY: {
            const std::string holders = Holders(path, roots);
            return holders.empty() ? "held by another program"
                                   : "held by another program: " + holders;
        }
        case EISDIR:
        case ENOTTY:
            return NotASerialDevice(path);
        default:
            return std::error_code(errorCode, std::generic_category()).message();
    }
}

std::string DescribePresence(const std::string& path, const SystemRoots& roots) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return DescribeOpenFailure(path, path.empty() ? ENOENT : errno, roots);
    }
    if (!S_ISCHR(info.st_mode)) return NotASerialDevice(path);
    // The device model names the class of a character device; a terminal's is
    // "tty". Pseudo-terminals are not in it, and are terminals.
    const fs::path node =
        fs::path(roots.sys) / "dev" / "char" /
        (std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)));
    if (const auto subsystem = Resolved(node / "subsystem")) {
        if (subsystem->filename() != "tty") return NotASerialDevice(path);
    }
    if (access(path.c_str(), R_OK | W_OK) != 0) return DescribeOpenFailure(path, errno, roots);
    return "present";
}

std::string SameDeviceKey(const std::string& path) {
    std::error_code error;
    const fs::path followed = fs::weakly_canonical(fs::path(path), error);
    return error ? path : followed.string();
}

}  // namespace velmora
