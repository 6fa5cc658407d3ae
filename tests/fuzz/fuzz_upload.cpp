// The upload sequence driven by any stream of events (bytes from the device,
// reply timer expiries, Send, DST Delete, a port that fails to open) against a
// fake link and a fake window: one exchange at a time, the link closed before
// every final box, only the four box texts, and never more than fifteen frames
// written per Send, each the next one in row order. With early judgement (the
// first byte says) a virtual clock times the bytes: the quiet timer runs only
// for an answer of exactly fifteen bytes, never shorter than the gap asked for
// nor than twice the answer's slowest byte spacing, and its verdict is the one
// the reply timer would give.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "UploadSequence.h"

namespace {

using namespace velmora;

enum class Handler { None, Send, Delete, Timer, Byte };

class FakeWindowAndLink : public IUploadHost, public IUploadLink {
  public:
    // The window's side.
    void SetTimer(int id, int milliseconds) override {
        ++m_calls;
        FUZZ_CHECK(m_handler != Handler::None);
        if (id == kQuietTimerId) {
            FUZZ_CHECK(m_earlyGapMs.has_value());
            FUZZ_CHECK(m_timerRunning);
            FUZZ_CHECK(m_sequence->ReplyBuffer().size() == kReplySize);
            FUZZ_CHECK(milliseconds >= *m_earlyGapMs);
            const auto slowest =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_slowestSpacing);
            FUZZ_CHECK(milliseconds >= 2 * slowest.count());
            m_quietRunning = true;
            return;
        }
        FUZZ_CHECK(id == kReplyTimerId);
        FUZZ_CHECK(milliseconds == m_timeout);
        m_timerRunning = true;
    }
    void KillTimer(int id) override {
        ++m_calls;
        if (id == kQuietTimerId) {
            FUZZ_CHECK(m_earlyGapMs.has_value());
            m_quietRunning = false;
            return;
        }
        FUZZ_CHECK(id == kReplyTimerId);
        m_timerRunning = false;
    }
    void RefreshControls() override { ++m_calls; }
    void ShowBox(Outcome outcome, const std::string& /*details*/) override {
        const std::string text = OutcomeText(outcome);
        const BoxIcon icon = OutcomeIcon(outcome);
        ++m_calls;
        FUZZ_CHECK(++m_boxesInHandler == 1);
        if (text == "Unable to open serial port!") {
            FUZZ_CHECK(m_handler == Handler::Send || m_handler == Handler::Delete);
            FUZZ_CHECK(m_lastOpenFailed);
            FUZZ_CHECK(icon == BoxIcon::Error);
            // The exchange it took over from has ended with it.
            FUZZ_CHECK(!m_open && !m_timerRunning);
            return;
        }
        FUZZ_CHECK(text == "Done!" || text == "No reply!" || text == "Communication error!");
        FUZZ_CHECK(icon == (text == "Done!" ? BoxIcon::Information : BoxIcon::Error));
        // An exchange ends only at a timer expiry, with the link already closed.
        FUZZ_CHECK(m_handler == Handler::Timer);
        FUZZ_CHECK(!m_open);
        FUZZ_CHECK(!m_timerRunning && !m_quietRunning);
        // The quiet line judges only an answer of fifteen bytes.
        if (m_expiring == kQuietTimerId) FUZZ_CHECK(m_sequence->ReplyBuffer().size() == kReplySize);
        // The verdict on what arrived: DST Delete calls only the frame's own
        // twelve bytes "No reply!", an upload every wrong length; an upload is
        // done only once all fifteen frames were written and answered.
        const ByteString& reply = m_sequence->ReplyBuffer();
        const bool good = reply.size() == kReplySize && reply.back() == '\0';
        if (m_sequence->SingleCommandMode() != 0) {
            FUZZ_CHECK(text == (good                         ? "Done!"
                                : reply.size() == kFrameSize ? "No reply!"
                                                             : "Communication error!"));
        } else if (good) {
            FUZZ_CHECK(text == "Done!");
            FUZZ_CHECK(m_framesThisSend == kMaxRows && m_sequence->AcknowledgedCount() == kMaxRows);
        } else {
            FUZZ_CHECK(text == (reply.size() == kReplySize ? "Communication error!" : "No reply!"));
        }
    }
    std::vector<DstRecord> ReadRecords() override { return m_records; }
    int Timeout() const override { return m_timeout; }
    int Port() const override { return 3; }

    // The link's side. Open first ends any earlier worker and port.
    bool Open(int portNumber) override {
        ++m_calls;
        FUZZ_CHECK(portNumber == 3);
        FUZZ_CHECK(m_handler == Handler::Send || m_handler == Handler::Delete);
        FUZZ_CHECK(++m_opensInHandler == 1);
        m_open = false;
        m_started = false;
        m_lastOpenFailed = m_failNextOpen;
        m_failNextOpen = false;
        m_open = !m_lastOpenFailed;
        if (m_open && m_handler == Handler::Send) {
            // This Send uploads the table as it read it.
            m_sentRecords = m_records;
            m_framesThisSend = 0;
        }
        return m_open;
    }
    bool Start() override {
        ++m_calls;
        FUZZ_CHECK(m_open);
        m_started = true;
        return true;
    }
    void QueueWrite(const ByteString& frame, int count) override {
        ++m_calls;
        FUZZ_CHECK(m_open && m_started);
        FUZZ_CHECK(m_timerRunning);  // every frame has its reply period
        FUZZ_CHECK(count == static_cast<int>(kFrameSize) && frame.size() == kFrameSize);
        if (m_handler == Handler::Delete) {
            FUZZ_CHECK(frame == DstDeleteFrame());
            return;
        }
        FUZZ_CHECK(m_framesThisSend < kMaxRows);
        const auto row = static_cast<std::size_t>(m_framesThisSend);
        FUZZ_CHECK(frame == UploadFrame(m_framesThisSend, m_sentRecords[row]));
        ++m_framesThisSend;
        m_lastFrame = frame;
    }
    void Close() override {
        ++m_calls;
        m_open = false;
        m_started = false;
    }

    // The fuzzer's side.
    void Enter(Handler handler) {
        m_handler = handler;
        m_opensInHandler = 0;
        m_boxesInHandler = 0;
    }
    void Leave() { m_handler = Handler::None; }

    void SetRows(std::size_t count, std::uint8_t seed) {
        m_records.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const auto n = static_cast<std::uint8_t>(i);
            m_records.push_back(
                {static_cast<std::uint8_t>(n + 1), seed, static_cast<std::uint8_t>(seed ^ n),
                 static_cast<std::uint8_t>(n * 7), static_cast<std::uint8_t>(seed + n)});
        }
    }
    bool HasFullTable() const { return m_records.size() == static_cast<std::size_t>(kMaxRows); }
    void Watch(const UploadSequence& sequence) { m_sequence = &sequence; }

    // Early judgement, and the virtual clock that times the bytes.
    std::optional<int> m_earlyGapMs;
    std::chrono::steady_clock::time_point m_now;
    std::chrono::steady_clock::time_point m_lastByteAt;
    std::chrono::steady_clock::duration m_slowestSpacing{};
    int m_expiring = 0;  // the timer whose expiry is being handled

    bool m_open = false;
    bool m_started = false;
    bool m_timerRunning = false;
    bool m_quietRunning = false;
    bool m_failNextOpen = false;
    bool m_lastOpenFailed = false;
    int m_timeout = 1000;
    int m_framesThisSend = 0;
    int m_calls = 0;
    ByteString m_lastFrame;

  private:
    Handler m_handler = Handler::None;
    int m_opensInHandler = 0;
    int m_boxesInHandler = 0;
    const UploadSequence* m_sequence = nullptr;
    std::vector<DstRecord> m_records;
    std::vector<DstRecord> m_sentRecords;
};

// What must hold between any two events.
void CheckResting(const FakeWindowAndLink& world, const UploadSequence& sequence) {
    FUZZ_CHECK(sequence.SingleCommandMode() == 0 || sequence.SingleCommandMode() == 1);
    FUZZ_CHECK(sequence.AcknowledgedCount() >= 0 && sequence.AcknowledgedCount() <= kMaxRows);
    FUZZ_CHECK(sequence.Progress() >= 0 && sequence.Progress() <= kMaxRows + 1);
    FUZZ_CHECK(sequence.FrameList().empty() ||
               sequence.FrameList().size() == static_cast<std::size_t>(kMaxRows));
    // An open link always has an exchange waiting for its answer.
    if (world.m_open) FUZZ_CHECK(world.m_timerRunning);
    // The quiet timer runs only beside the reply timer, for fifteen bytes.
    if (world.m_quietRunning)
        FUZZ_CHECK(world.m_timerRunning && sequence.ReplyBuffer().size() == kReplySize);
    // An upload in flight has written exactly the frames up to the one it waits for.
    if (world.m_open && sequence.SingleCommandMode() == 0) {
        FUZZ_CHECK(sequence.AcknowledgedCount() < kMaxRows);
        FUZZ_CHECK(world.m_framesThisSend == sequence.AcknowledgedCount() + 1);
    }
}

// Bytes arrive only while the link is open and its worker runs.
void Receive(FakeWindowAndLink& world, UploadSequence& sequence, const ByteString& bytes) {
    if (!world.m_started) return;
    for (const char byte : bytes) {
        // The answer's byte spacings, as the sequence will time them.
        const std::size_t before = sequence.ReplyBuffer().size();
        if (before > 0 && before < kReplySize)
            world.m_slowestSpacing =
                std::max(world.m_slowestSpacing, world.m_now - world.m_lastByteAt);
        if (before == 0) world.m_slowestSpacing = {};
        world.m_lastByteAt = world.m_now;
        world.Enter(Handler::Byte);
        FUZZ_CHECK(sequence.OnLinkRxChar(static_cast<unsigned char>(byte), 3) == 0);
        world.Leave();
    }
}

}  // namespace

// Up to 512 events: enough for several uploads, take-overs and failed opens.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    velmora::fuzz::DefaultMaxLen(argc, argv, 512);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FakeWindowAndLink world;
    UploadSequence sequence(world, world);
    world.Watch(sequence);
    world.SetRows(kMaxRows, 0);

    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    // An odd first byte asks for early judgement with a gap of 1 to 128 ms.
    if (const std::uint8_t early = next(); early % 2 == 1) {
        world.m_earlyGapMs = 1 + early / 2;
        sequence.SetEarlyJudgement(world.m_earlyGapMs, [&world] { return world.m_now; });
    }
    const auto expire = [&](int id) {
        world.Enter(Handler::Timer);
        world.m_expiring = id;
        sequence.OnTimer(id);
        world.m_expiring = 0;
        world.Leave();
    };
    while (at < size) {
        const std::uint8_t event = next();
        switch (event % 10) {
            case 0:  // one byte from the device
                Receive(world, sequence, ByteString(1, static_cast<char>(next())));
                break;
            case 1:  // a good answer, fifteen bytes ending in zero
                Receive(world, sequence, ByteString(14, static_cast<char>(event)) + '\0');
                break;
            case 2:  // the frame itself coming back
                Receive(world, sequence, world.m_lastFrame);
                break;
            case 3:  // the reply timer expires
                if (world.m_timerRunning) {
                    expire(kReplyTimerId);
                    FUZZ_CHECK(!world.m_open || world.m_timerRunning);
                }
                break;
            case 4: {  // another timer's id changes nothing
                const int id = next();
                if (id == kQuietTimerId) break;
                const int calls = world.m_calls;
                const ByteString reply = sequence.ReplyBuffer();
                const int progress = sequence.Progress();
                world.Enter(Handler::Timer);
                sequence.OnTimer(id == kReplyTimerId ? 0 : id);
                world.Leave();
                FUZZ_CHECK(world.m_calls == calls);
                FUZZ_CHECK(sequence.ReplyBuffer() == reply && sequence.Progress() == progress);
                break;
            }
            case 5: {  // Send, usually with a full table
                const std::uint8_t rows = next();
                world.SetRows((rows & 0x0F) == 0 ? rows >> 4 : kMaxRows, rows);
                const int calls = world.m_calls;
                // Without a full table Send starts nothing.
                std::vector<ByteString> frames;
                if (!world.HasFullTable()) frames = sequence.FrameList();
                world.Enter(Handler::Send);
                sequence.OnSend();
                world.Leave();
                if (!world.HasFullTable()) {
                    FUZZ_CHECK(world.m_calls == calls);
                    FUZZ_CHECK(sequence.FrameList() == frames);
                }
                break;
            }
            case 6:  // DST Delete
                world.Enter(Handler::Delete);
                sequence.OnDstDelete();
                world.Leave();
                break;
            case 7:  // the next Open fails; the timeout setting changes
                world.m_failNextOpen = true;
                world.m_timeout = next() * 10;
                break;
            case 8:  // time passes between bytes: 0 to 255 ms
                world.m_now += std::chrono::milliseconds(next());
                break;
            case 9:  // the quiet timer expires
                if (world.m_quietRunning) {
                    expire(kQuietTimerId);
                    FUZZ_CHECK(!world.m_quietRunning);
                    FUZZ_CHECK(!world.m_open || world.m_timerRunning);
                }
                break;
            default:
                break;
        }
        CheckResting(world, sequence);
    }
    return 0;
}
