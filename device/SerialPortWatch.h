// Follows the serial devices present while a program runs: adapters plugged in
// and pulled out. The system wakes the watch (Linux: inotify on /dev and
// /dev/serial/by-id; Windows: the registry's port list changing and the
// device-change notifications of COM ports); the watch then lists the devices
// afresh and reports what arrived and what departed. Linux:
// SerialPortWatch_unix.cpp, Windows: SerialPortWatch_win.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "SerialPorts.h"

namespace velmora {

struct SerialDeviceChange {
    enum class Kind { Arrived, Departed };
    Kind kind;
    SerialDevice device;
};

// What differs between two lists of ListSerialDevices: the departed first, in
// the order of `before`, then the arrived, in the order of `after`. A device
// whose description changed departs and arrives again.
std::vector<SerialDeviceChange> CompareDeviceLists(const std::vector<SerialDevice>& before,
                                                   const std::vector<SerialDevice>& after);

// What wakes the watch; one per system. Created before the first listing, so
// that no change after it is missed.
class DeviceFolderWaiter;

class SerialPortWatch {
  public:
    // Called on the watch's own thread with the devices now present and what
    // changed since the last call (or since Present() at the start); never
    // with an empty `changes`.
    using Callback = std::function<void(const std::vector<SerialDevice>& present,
                                        const std::vector<SerialDeviceChange>& changes)>;

    // Lists the devices (Present()) and starts watching. A wake-up is followed
    // by `settle` of quiet before the devices are listed again, as one plug
    // makes several nodes and links one after the other; a burst that goes on
    // is listed after `settle` * 8 at the latest.
    SerialPortWatch(SystemRoots roots, Callback callback,
                    std::chrono::milliseconds settle = std::chrono::milliseconds(250));
    // Stops at once, also in the middle of a settle.
    ~SerialPortWatch();
    SerialPortWatch(const SerialPortWatch&) = delete;
    SerialPortWatch& operator=(const SerialPortWatch&) = delete;

    // The devices present when the watch started.
    const std::vector<SerialDevice>& Present() const { return m_present; }

  private:
    void Run();

    const SystemRoots m_roots;
    const Callback m_callback;
    const std::chrono::milliseconds m_settle;
    std::unique_ptr<DeviceFolderWaiter> m_waiter;
    std::vector<SerialDevice> m_present;
    std::thread m_thread;
};

// The per-system part. Wait blocks until the system tells of a change
// (Woken::Change), Stop was called (Woken::Stop), or `timeout` passed
// (Woken::Quiet); a negative timeout waits without end.
class DeviceFolderWaiter {
  public:
    enum class Woken { Change, Stop, Quiet };
    static std::unique_ptr<DeviceFolderWaiter> Create(const SystemRoots& roots);
    virtual ~DeviceFolderWaiter() = default;
    virtual Woken Wait(std::chrono::milliseconds timeout) = 0;
    // Safe from any thread: the Wait in progress, and every later one, returns Stop.
    virtual void Stop() = 0;
};

}  // namespace velmora
