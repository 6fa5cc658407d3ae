// An owner that records what a link hands it and the pseudo-terminal device of
// the link tests (the process's threads and descriptors: ProcessSample.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ProcessSample.h"
#include "PtyDevice_unix.h"
#include "SerialLink.h"

namespace velmora::test {

using namespace std::chrono_literals;

constexpr std::uint32_t kEventMask = kUploadLine.eventMask;
constexpr int kBufferSize = kUploadLine.writeBufferSize;

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

// A finished thread may linger in the kernel's count for a moment after its join.
inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace velmora::test
