// Uploads on four ports at once, as velmora-cli runs them: each port its own
// link, worker thread and reply timer, each device its own answers. Run under
// ThreadSanitizer too. Here each exchange is driven by a plain thread that
// hands the link's messages and the timers' expiries to the upload sequence in
// turn, as the event loop does for the programs.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

#include "DeviceAnswer.h"
#include "LinkTestSupport.h"
#include "SerialUploadLink.h"
#include "UploadSequence.h"

namespace velmora::test {
namespace {

// One port's exchange on a thread of its own.
class ThreadedExchange : public IUploadHost, public ILinkOwner {
  public:
    explicit ThreadedExchange(std::string devicePath)
        : m_uploadLink(m_link, *this, [path = std::move(devicePath)](int) { return path; }),
          m_sequence(*this, m_uploadLink) {}
    ~ThreadedExchange() override { m_link.Close(); }

    // Uploads fifteen rows and returns the outcome; nothing after kDeadline.
    std::optional<Outcome> Upload() {
        m_sequence.OnSend();
        const auto limit = std::chrono::steady_clock::now() + kDeadline;
        while (!m_outcome && std::chrono::steady_clock::now() < limit) {
            std::vector<LinkMessage> messages;
            {
                std::unique_lock lock(m_mutex);
                m_arrived.wait_until(lock, NextExpiry(limit), [&] { return !m_queue.empty(); });
                messages.swap(m_queue);
            }
            for (const LinkMessage& message : messages)
                if (message.message == WM_LINK_RXCHAR && !m_outcome)
                    m_sequence.OnLinkRxChar(message.wParam, message.lParam);
            const auto now = std::chrono::steady_clock::now();
            for (auto it = m_timers.begin(); it != m_timers.end() && !m_outcome;) {
                const int id = it->first;
                if (it->second > now) {
                    ++it;
                    continue;
                }
                it = m_timers.erase(it);
                m_sequence.OnTimer(id);
                it = m_timers.begin();  // the sequence may have set timers again
            }
        }
        return m_outcome;
    }
    int Acknowledged() const { return m_sequence.AcknowledgedCount(); }

    void PostLinkMessage(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(message);
        m_arrived.notify_one();
    }
    void ReportLinkError(const std::string&, bool, std::uint64_t) override {}
    void SetTimer(int id, int milliseconds) override {
        m_timers[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    }
    void KillTimer(int id) override { m_timers.erase(id); }
    void RefreshControls() override {}
    void ShowBox(Outcome outcome, const std::string&) override { m_outcome = outcome; }
    std::vector<DstRecord> ReadRecords() override {
        std::vector<DstRecord> records(kMaxRows);
        for (std::size_t i = 0; i < records.size(); ++i)
            records[i] = {1, 3, 1, 10, static_cast<std::uint8_t>(27 + i)};
        return records;
    }
    int Timeout() const override { return 200; }
    int Port() const override { return 1; }

  private:
    std::chrono::steady_clock::time_point NextExpiry(std::chrono::steady_clock::time_point limit) {
        for (const auto& [id, at] : m_timers) limit = std::min(limit, at);
        return limit;
    }

    CSerialLink m_link;
    SerialUploadLink m_uploadLink;
    UploadSequence m_sequence;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<LinkMessage> m_queue;
    std::map<int, std::chrono::steady_clock::time_point> m_timers;
    std::optional<Outcome> m_outcome;
};

// A device on a pseudo-terminal answering every frame by `plan`, on a thread.
class AnsweringDevice {
  public:
    explicit AnsweringDevice(AnswerPlan plan) : m_plan(plan), m_thread([this] { Answer(); }) {}
    ~AnsweringDevice() {
        m_stop = true;
        m_thread.join();
    }
    const std::string& Path() const { return m_pty.Path(); }

  private:
    void Answer() {
        ByteString frame;
        for (long index = 0; !m_stop;) {
            pollfd ready{m_pty.Master(), POLLIN, 0};
            if (poll(&ready, 1, 20) <= 0) continue;
            char byte = 0;
            if (read(m_pty.Master(), &byte, 1) != 1) continue;
            frame += byte;
            if (frame.size() < 12) continue;
            m_pty.Send(m_plan.AnswerTo(frame, index++));
            frame.clear();
        }
    }

    PtyDevice m_pty;
    AnswerPlan m_plan;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(ParallelExchangesTest, FourPortsAtOnceAreEachJudgedAsAnUploadAlone) {
    AnswerPlan good;
    AnswerPlan silent;
    silent.fault = Answer::Silence;
    AnswerPlan errorAtFifth;  // the device says the sixth frame failed
    errorAtFifth.failAt = 5;
    errorAtFifth.fault = Answer::Last01;
    const struct {
        AnswerPlan plan;
        Outcome outcome;
        int acknowledged;
    } ports[] = {{good, Outcome::Done, 15},
                 {silent, Outcome::NoReply, 0},
                 {errorAtFifth, Outcome::CommunicationError, 5},
                 {good, Outcome::Done, 15}};

    std::vector<std::unique_ptr<AnsweringDevice>> devices;
    std::vector<std::unique_ptr<ThreadedExchange>> exchanges;
    for (const auto& port : ports) {
        devices.push_back(std::make_unique<AnsweringDevice>(port.plan));
        exchanges.push_back(std::make_unique<ThreadedExchange>(devices.back()->Path()));
    }
    std::vector<std::optional<Outcome>> outcomes(exchanges.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < exchanges.size(); ++i)
        threads.emplace_back([&, i] { outcomes[i] = exchanges[i]->Upload(); });
    for (std::thread& thread : threads) thread.join();

    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        EXPECT_EQ(outcomes[i], ports[i].outcome) << "port " << i;
        EXPECT_EQ(exchanges[i]->Acknowledged(), ports[i].acknowledged) << "port " << i;
    }
    exchanges.clear();  // every link closed before its device goes
}

}  // namespace
}  // namespace velmora::test
