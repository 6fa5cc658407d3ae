// The device manager's view of a COM port: its friendly name and hardware id.
#include <windows.h>
// SetupAPI and the class GUIDs after <windows.h>, which they build on.
#include <devguid.h>
#include <setupapi.h>

#include <cwctype>
#include <vector>

#include "AdapterIdentity.h"
#include "win/Utf16.h"

namespace velmora {
namespace {

// "\\.\COM5" and "com5" -> L"COM5"; the name as it stands for anything else.
std::wstring PortName(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("\\\\?\\", 0) == 0) name.erase(0, 4);
    std::wstring wide = Utf16(name).value_or(std::wstring());
    for (wchar_t& c : wide) c = static_cast<wchar_t>(std::towupper(c));
    return wide;
}

// A string property of a device; for a list of strings (the hardware ids),
// its first one, the most specific. Nothing when the device has none.
std::optional<std::string> Property(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text.data()), size, nullptr))
        return std::nullopt;
    const std::wstring first(text.data());
    if (first.empty()) return std::nullopt;
    return Utf8(first);
}

std::optional<std::wstring> PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return std::nullopt;
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::wstring(value);
}

}  // namespace

AdapterIdentity IdentifyAdapter(const std::string& devicePath, const std::string& /*sysRoot*/) {
    AdapterIdentity identity;
    const std::wstring wanted = PortName(devicePath);
    if (wanted.empty()) return identity;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return identity;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        std::optional<std::wstring> port = PortNameOf(devices, device);
        if (!port) continue;
        for (wchar_t& c : *port) c = static_cast<wchar_t>(std::towupper(c));
        if (*port != wanted) continue;
        identity.friendlyName = Property(devices, device, SPDRP_FRIENDLYNAME);
        identity.hardwareId = Property(devices, device, SPDRP_HARDWAREID);
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return identity;
}

}  // namespace velmora
