// The serial ports of Windows: the registry's list of COM ports, with the
// device manager's friendly names, and the reasons a port will not open.
#include <windows.h>
// SetupAPI and the class GUIDs after <windows.h>, which they build on.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "SerialPorts.h"
#include "win/SystemErrorText.h"
#include "win/Utf16.h"

namespace velmora {
namespace {

// "COM12" -> 12; nothing for a name that is not COM and a number.
std::optional<int> ComNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return std::nullopt;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > 100000) return std::nullopt;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

// The name without the device namespace's prefix: "\\.\COM12" -> "COM12".
std::string BareName(const std::string& path) {
    if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

// A string value of an open key, or nothing.
std::optional<std::wstring> StringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

// The friendly names of the ports class ("USB Serial Port (COM5)"), by port name.
std::map<std::string, std::string> FriendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::optional<std::wstring> port = StringValue(key, L"PortName");
        RegCloseKey(key);
        if (!port) continue;
        wchar_t friendly[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(friendly),
                                              sizeof friendly - sizeof(wchar_t), nullptr)) {
            names[Utf8(*port)] = Utf8(friendly);
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const SystemRoots& /*roots*/) {
    std::vector<SerialDevice> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return devices;
    }
    // Each value: the kernel's device name ("\Device\Serial0") = the port ("COM1").
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        wchar_t data[256] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        devices.push_back({Utf8(data), Utf8(std::wstring_view(name, nameLength))});
    }
    RegCloseKey(key);

    const std::map<std::string, std::string> friendly = FriendlyNames();
    for (SerialDevice& device : devices) {
        if (const auto found = friendly.find(device.path); found != friendly.end()) {
            device.description = found->second;
        }
    }
    // COM2 before COM10; names that are no COM number last, by name.
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        const std::optional<int> left = ComNumber(a.path);
        const std::optional<int> right = ComNumber(b.path);
        if (left.has_value() != right.has_value()) return left.has_value();
        if (left && *left != *right) return *left < *right;
        return a.path < b.path;
    });
    return devices;
}

std::string DescribeOpenFailure(const std::string& /*path*/, int errorCode,
                                const SystemRoots& /*roots*/) {
    switch (errorCode) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "not present";
        case ERROR_INVALID_NAME:
            return "not present: not a port name";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY:
            // Windows opens a COM port for one program at a time and refuses
            // the next with access denied; a driver may say busy or shared
            // instead, and Wine says lock violation when a Linux program holds
            // the device exclusively.
            return "in use by another program";
        case ERROR_BAD_DEVICE:
            return "not a serial port";
        default: {
            std::string text = SystemErrorText(static_cast<DWORD>(errorCode));
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                                     text.back() == ' ' || text.back() == '.')) {
                text.pop_back();
            }
            return text;
        }
    }
}

std::string DescribePresence(const std::string& path, const SystemRoots& roots) {
    const std::optional<std::wstring> name = Utf16(BareName(path));
    if (!name || name->empty()) return DescribeOpenFailure(path, ERROR_INVALID_NAME, roots);
    // The port's name in the system's device namespace, found without opening it.
    wchar_t target[1024];
    if (QueryDosDeviceW(name->c_str(), target, static_cast<DWORD>(std::size(target))) == 0) {
        return DescribeOpenFailure(path, ERROR_FILE_NOT_FOUND, roots);
    }
    return "present";
}

std::string SameDeviceKey(const std::string& path) {
    std::string key = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    std::transform(key.begin(), key.end(), key.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return key;
}

}  // namespace velmora
