// What wakes the watch on Windows: a change below HKLM\HARDWARE\DEVICEMAP,
// where the port drivers enter their ports in SERIALCOMM (the list
// ListSerialDevices reads), and the device-change notifications of the COM
// port interface, received by a message-only window of the watch's thread.
#include <windows.h>
// After <windows.h>, which it builds on.
#include <dbt.h>

#include <chrono>

#include "SerialPortWatch.h"

namespace velmora {
namespace {

// GUID_DEVINTERFACE_COMPORT, the interface every COM port driver registers.
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr wchar_t kWindowClass[] = L"VelmoraSerialPortWatch";

LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        auto* changed = reinterpret_cast<bool*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (changed) *changed = true;
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class WindowsWaiter final : public DeviceFolderWaiter {
  public:
    WindowsWaiter()
        : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_registryChanged(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &m_key) !=
            ERROR_SUCCESS) {
            m_key = nullptr;
        }
        WatchRegistry();
    }
    ~WindowsWaiter() override {
        if (m_key) RegCloseKey(m_key);
        CloseHandle(m_registryChanged);
        CloseHandle(m_stop);
    }
    WindowsWaiter(const WindowsWaiter&) = delete;
    WindowsWaiter& operator=(const WindowsWaiter&) = delete;

    Woken Wait(std::chrono::milliseconds timeout) override {
        // The window belongs to the thread that waits: the watch's own.
        if (!m_window) OpenWindow();
        const HANDLE handles[] = {m_stop, m_registryChanged};
        const ULONGLONG start = GetTickCount64();
        for (;;) {
            DWORD wait = INFINITE;
            if (timeout.count() >= 0) {
                const auto passed = static_cast<long long>(GetTickCount64() - start);
                wait = static_cast<DWORD>(passed >= timeout.count() ? 0 : timeout.count() - passed);
            }
            const DWORD woken = MsgWaitForMultipleObjects(2, handles, FALSE, wait, QS_ALLINPUT);
            if (woken == WAIT_OBJECT_0) {
                DropWindow();
                return Woken::Stop;
            }
            if (woken == WAIT_OBJECT_0 + 1) {
                WatchRegistry();  // again, before the list is read
                return Woken::Change;
            }
            if (woken == WAIT_OBJECT_0 + 2) {
                m_deviceChanged = false;
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                if (m_deviceChanged) return Woken::Change;
                continue;
            }
            // A timeout; after a failure too, not to spin.
            if (woken == WAIT_FAILED) Sleep(wait == INFINITE ? 1000 : wait);
            return Woken::Quiet;
        }
    }

    void Stop() override { SetEvent(m_stop); }

  private:
    void WatchRegistry() {
        if (m_key)
            RegNotifyChangeKeyValue(m_key, TRUE,
                                    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                    m_registryChanged, TRUE);
    }

    void OpenWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WatchWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);  // fails harmlessly when already registered
        m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
        if (!m_window) return;  // the registry still wakes the watch
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_deviceChanged));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        m_notification =
            RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }

    void DropWindow() {
        if (m_notification) UnregisterDeviceNotification(m_notification);
        if (m_window) DestroyWindow(m_window);
        m_notification = nullptr;
        m_window = nullptr;
    }

    const HANDLE m_stop;
    const HANDLE m_registryChanged;
    HKEY m_key = nullptr;
    HWND m_window = nullptr;
    HDEVNOTIFY m_notification = nullptr;
    bool m_deviceChanged = false;
};

}  // namespace

std::unique_ptr<DeviceFolderWaiter> DeviceFolderWaiter::Create(const SystemRoots& /*roots*/) {
    return std::make_unique<WindowsWaiter>();
}

}  // namespace velmora
