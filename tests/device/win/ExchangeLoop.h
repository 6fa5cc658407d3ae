// One exchange with the device through the real link, driven the way the
// window drives it: the link's messages and reports are queued by the worker
// and handled on the test's thread (those of a stopped worker dropped by their
// generation), and the reply timer is a deadline of that same loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "SerialLink.h"
#include "SerialUploadLink.h"
#include "UploadSequence.h"

namespace velmora::test {

class ExchangeLoop : public ILinkOwner, public IUploadHost {
  public:
    explicit ExchangeLoop(int timeoutMs, std::string devicePath = "COM1")
        : m_timeoutMs(timeoutMs),
          m_link(m_serial, *this, [devicePath](int) { return devicePath; }) {}
    ~ExchangeLoop() override { m_serial.Close(); }

    // Runs `start` (OnSend or OnDstDelete) and handles events until the box.
    Outcome Run(bool send, std::chrono::seconds limit = std::chrono::seconds(60)) {
        send ? m_sequence.OnSend() : m_sequence.OnDstDelete();
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!m_outcome && std::chrono::steady_clock::now() < end) Step(end);
        return m_outcome.value_or(Outcome::CommunicationError);
    }

    const UploadSequence& Sequence() const { return m_sequence; }
    const std::vector<std::string>& Reports() const { return m_reports; }
    const std::string& Details() const { return m_details; }
    std::vector<DstRecord> records;
    // Called as the reply timer fires, before the answer is judged.
    std::function<void()> onTimer;

    // ILinkOwner, on the worker's thread: queue and return.
    void PostLinkMessage(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({message, {}, false});
        m_changed.notify_all();
    }
    void ReportLinkError(const std::string& text, bool fromWorker,
                         std::uint64_t generation) override {
        if (!fromWorker) {
            m_reports.push_back(text);
            return;
        }
        std::lock_guard lock(m_mutex);
        m_queue.push_back({LinkMessage{0, 0, 0, generation}, text, true});
        m_changed.notify_all();
    }

    // IUploadHost, on the test's thread.
    void SetTimer(int id, int milliseconds) override {
        m_timers[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    }
    void KillTimer(int id) override { m_timers.erase(id); }
    void RefreshControls() override {}
    void ShowBox(Outcome outcome, const std::string& details) override {
        m_outcome = outcome;
        m_details = details;
    }
    std::vector<DstRecord> ReadRecords() override { return records; }
    int Timeout() const override { return m_timeoutMs; }
    int Port() const override { return 1; }

  private:
    struct Event {
        LinkMessage message;
        std::string report;
        bool isReport = false;
    };

    void Step(std::chrono::steady_clock::time_point end) {
        auto wake = end;
        for (const auto& [id, due] : m_timers) wake = std::min(wake, due);
        std::deque<Event> events;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait_until(lock, wake, [&] { return !m_queue.empty(); });
            events.swap(m_queue);
        }
        for (const Event& event : events) {
            if (event.message.generation != m_serial.Generation()) continue;  // a stopped worker
            if (event.isReport) {
                m_reports.push_back(event.report);
            } else if (event.message.message == WM_LINK_RXCHAR) {
                m_sequence.OnLinkRxChar(event.message.wParam, event.message.lParam);
            }
            if (m_outcome) return;
        }
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second > now) continue;
            const int id = it->first;
            m_timers.erase(it);
            if (onTimer) onTimer();
            m_sequence.OnTimer(id);
            return;
        }
    }

    int m_timeoutMs;
    CSerialLink m_serial;
    SerialUploadLink m_link;
    UploadSequence m_sequence{*this, m_link};
    std::map<int, std::chrono::steady_clock::time_point> m_timers;
    std::optional<Outcome> m_outcome;
    std::string m_details;
    std::vector<std::string> m_reports;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Event> m_queue;
};

}  // namespace velmora::test
