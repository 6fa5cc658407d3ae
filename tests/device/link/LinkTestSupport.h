// A pseudo-terminal standing in for the device, an owner that records what a
// link hands it, and counters of the process's threads and descriptors.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "SerialLink.h"

namespace velmora::testing {

using namespace std::chrono_literals;

// Generous: the tests also run under ThreadSanitizer on a busy machine.
constexpr auto kDeadline = 10s;

constexpr std::uint32_t kEventMask = kUploadLine.eventMask;
constexpr int kBufferSize = kUploadLine.writeBufferSize;

// The device side is the master; the link opens the slave by its path. The
// fixture keeps a slave descriptor of its own to look at the line's state
// (settings, bytes waiting) the way the link sees it.
class PtyDevice {
public:
    PtyDevice() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64] = {};
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        m_slavePath = name;
        m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (m_slave < 0 || tcgetattr(m_slave, &raw) != 0) throw std::runtime_error("no slave");
        cfmakeraw(&raw);  // no echo back to the master
        tcsetattr(m_slave, TCSANOW, &raw);
    }
    ~PtyDevice() {
        Unplug();
        close(m_slave);
    }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& Path() const { return m_slavePath; }
    int Master() const { return m_master; }
    int Slave() const { return m_slave; }

    void Send(const ByteString& bytes) const {
        if (write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("short write to the master");
        }
    }

    // Reads until `count` bytes came or the deadline passed; returns what came.
    ByteString Receive(std::size_t count) const {
        ByteString got;
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{m_master, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[64];
            const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Bytes waiting in the line's input queue, not yet taken by the link.
    int InputWaiting() const {
        int waiting = -1;
        ioctl(m_slave, FIONREAD, &waiting);
        return waiting;
    }

    // The device goes away: the slave side hangs up.
    void Unplug() {
        if (m_master >= 0) close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

struct ErrorReport {
    std::string text;
    bool fromWorker = false;
    std::uint64_t generation = 0;
};

class RecordingOwner : public ILinkOwner {
public:
    void PostLinkMessage(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        if (m_bSealed) ++m_nLate;
        m_messages.push_back(message);
        m_changed.notify_all();
    }
    void ReportLinkError(const std::string& text, bool fromWorker,
                         std::uint64_t generation) override {
        {
            std::lock_guard lock(m_mutex);
            m_reports.push_back({text, fromWorker, generation});
            m_changed.notify_all();
        }
        if (onReport) onReport();
    }

    // Run after each report, as a box with an event loop of its own might.
    std::function<void()> onReport;

    // From now on every message counts as late.
    void Seal() {
        std::lock_guard lock(m_mutex);
        m_bSealed = true;
    }
    int Late() const {
        std::lock_guard lock(m_mutex);
        return m_nLate;
    }

    bool WaitForMessages(std::size_t count,
                         std::chrono::steady_clock::duration limit = kDeadline) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_messages.size() >= count; });
    }
    bool WaitForReports(std::size_t count,
                        std::chrono::steady_clock::duration limit = kDeadline) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_reports.size() >= count; });
    }

    std::vector<LinkMessage> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<ErrorReport> Reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    // The bytes of every WM_LINK_RXCHAR so far, in order.
    ByteString Bytes() const {
        ByteString bytes;
        for (const LinkMessage& message : Messages()) {
            if (message.message == WM_LINK_RXCHAR)
                bytes.push_back(static_cast<char>(message.wParam));
        }
        return bytes;
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<LinkMessage> m_messages;
    std::vector<ErrorReport> m_reports;
    bool m_bSealed = false;
    int m_nLate = 0;
};

inline bool OpenLink(CSerialLink& link, ILinkOwner& owner, const std::string& path, int port,
                     std::uint32_t eventMask = kEventMask, int bufferSize = kBufferSize) {
    LineSettings line = kUploadLine;
    line.eventMask = eventMask;
    line.writeBufferSize = bufferSize;
    return link.Open(&owner, path, port, line);
}

// Starts the worker and makes sure it runs: the worker purges the port when it
// starts, so the device may only speak once a first write has come through.
inline bool StartInStep(CSerialLink& link, const PtyDevice& device) {
    if (!link.Start()) return false;
    link.QueueWrite(ByteString("?"), 1);
    return device.Receive(1) == "?";
}

inline int ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    }
    return -1;
}

inline int DescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// A finished thread may linger in the kernel's count for a moment after its join.
inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace velmora::testing
