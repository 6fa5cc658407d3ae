#include "SerialPortWatch.h"

#include <algorithm>
#include <utility>

namespace velmora {
namespace {

bool Same(const SerialDevice& a, const SerialDevice& b) {
    return a.path == b.path && a.description == b.description;
}

bool Contains(const std::vector<SerialDevice>& list, const SerialDevice& device) {
    return std::any_of(list.begin(), list.end(),
                       [&](const SerialDevice& other) { return Same(other, device); });
}

}  // namespace

std::vector<SerialDeviceChange> CompareDeviceLists(const std::vector<SerialDevice>& before,
                                                   const std::vector<SerialDevice>& after) {
    std::vector<SerialDeviceChange> changes;
    for (const SerialDevice& device : before) {
        if (!Contains(after, device))
            changes.push_back({SerialDeviceChange::Kind::Departed, device});
    }
    for (const SerialDevice& device : after) {
        if (!Contains(before, device))
            changes.push_back({SerialDeviceChange::Kind::Arrived, device});
    }
    return changes;
}

SerialPortWatch::SerialPortWatch(SystemRoots roots, Callback callback,
                                 std::chrono::milliseconds settle)
    : m_roots(std::move(roots)),
      m_callback(std::move(callback)),
      m_settle(settle),
      m_waiter(DeviceFolderWaiter::Create(m_roots)),
      m_present(ListSerialDevices(m_roots)),
      m_thread([this] { Run(); }) {}

SerialPortWatch::~SerialPortWatch() {
    m_waiter->Stop();
    m_thread.join();
}

void SerialPortWatch::Run() {
    using Woken = DeviceFolderWaiter::Woken;
    std::vector<SerialDevice> present = m_present;
    for (;;) {
        if (m_waiter->Wait(std::chrono::milliseconds(-1)) == Woken::Stop) return;
        // Wait for the burst to end, but not without end.
        const auto latest = std::chrono::steady_clock::now() + m_settle * 8;
        for (Woken woken = Woken::Change; woken != Woken::Quiet;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                latest - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            woken = m_waiter->Wait(std::min(m_settle, left));
            if (woken == Woken::Stop) return;
        }
        std::vector<SerialDevice> now = ListSerialDevices(m_roots);
        const std::vector<SerialDeviceChange> changes = CompareDeviceLists(present, now);
        present = std::move(now);
        if (!changes.empty()) m_callback(present, changes);
    }
}

}  // namespace velmora
