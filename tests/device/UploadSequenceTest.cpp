#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>

#include "CaseName.h"
#include "UploadSequence.h"

namespace velmora {
namespace {

struct Box {
    std::string text;
    BoxIcon icon;
    std::string details;
    bool operator==(const Box&) const = default;
};

const Box kDone{"Done!", BoxIcon::Information, ""};
const Box kNoReply{"No reply!", BoxIcon::Error, ""};
const Box kCommError{"Communication error!", BoxIcon::Error, ""};
// The link's reason for the failed open goes with the box.
const Box kUnableToOpen{"Unable to open serial port!", BoxIcon::Error, "/dev/fake: the reason"};

// `length` bytes of 0x55 whose last byte is `last`.
ByteString Reply(std::size_t length, char last = '\0') {
    ByteString reply(length, '\x55');
    if (length > 0) reply.back() = last;
    return reply;
}

// A link whose device answers each written frame through `device` (by the
// frame's index since the test began); the answer waits in `inFlight` until
// the test delivers it. Open and Close drop what the old exchange had on its way.
class FakeLink : public IUploadLink {
  public:
    explicit FakeLink(const long& clock) : m_clock(clock) {}

    bool Open(int portNumber) override {
        openedPorts.push_back(portNumber);
        inFlight.clear();
        isOpen = openSucceeds;
        return openSucceeds;
    }
    std::string OpenFailure() const override { return "/dev/fake: the reason"; }
    bool Start() override {
        ++starts;
        return startSucceeds;
    }
    void QueueWrite(const ByteString& frame, int count) override {
        EXPECT_TRUE(isOpen);
        written.push_back(frame.substr(0, static_cast<std::size_t>(count)));
        writtenAt.push_back(m_clock);
        if (device) inFlight += device(written.size() - 1);
    }
    void Close() override {
        isOpen = false;
        inFlight.clear();
    }

    std::function<ByteString(std::size_t)> device;
    bool openSucceeds = true;
    bool startSucceeds = true;
    bool isOpen = false;
    int starts = 0;
    std::vector<int> openedPorts;
    std::vector<ByteString> written;
    std::vector<long> writtenAt;
    ByteString inFlight;

  private:
    const long& m_clock;
};

class FakeHost : public IUploadHost {
  public:
    void SetTimer(int id, int milliseconds) override { Timer(id) = now + milliseconds; }
    void KillTimer(int id) override { Timer(id).reset(); }
    // The quiet timer runs only with early judgement.
    std::optional<long>& Timer(int id) {
        EXPECT_TRUE(id == kReplyTimerId || (id == kQuietTimerId && early)) << id;
        return id == kQuietTimerId ? quietDue : timerDue;
    }
    void RefreshControls() override { counter.push_back(sequence->Progress()); }
    void ShowBox(Outcome outcome, const std::string& details) override {
        boxes.push_back({OutcomeText(outcome), OutcomeIcon(outcome), details});
        linkOpenDuringBox.push_back(link->isOpen);
        singleCommandDuringBox.push_back(sequence->SingleCommandMode());
    }
    std::vector<DstRecord> ReadRecords() override { return records; }
    int Timeout() const override { return timeout; }
    int Port() const override { return port; }

    long now = 0;
    std::optional<long> timerDue;
    std::optional<long> quietDue;
    bool early = false;
    int timeout = 1000;
    int port = 1;
    std::vector<DstRecord> records;
    std::vector<int> counter;  // the progress counter at each refresh
    std::vector<Box> boxes;
    std::vector<bool> linkOpenDuringBox;
    std::vector<int> singleCommandDuringBox;
    const UploadSequence* sequence = nullptr;
    const FakeLink* link = nullptr;
};

class UploadSequenceTest : public ::testing::Test {
  protected:
    UploadSequenceTest() {
        host.sequence = &sequence;
        host.link = &link;
        for (int row = 0; row < kMaxRows; ++row) {
            host.records.push_back({5, 3, 29, 10, static_cast<std::uint8_t>(7 + row)});
        }
    }

    void Deliver() {
        for (const char c : std::exchange(link.inFlight, {})) {
            sequence.OnLinkRxChar(static_cast<unsigned char>(c), host.port);
        }
    }

    // Delivers what the device sent, then lets the running timer expire.
    bool Expire() {
        if (!host.timerDue) return false;
        Deliver();
        host.now = *host.timerDue;
        sequence.OnTimer(kReplyTimerId);
        return true;
    }

    void RunToEnd() {
        for (int expiries = 0; Expire(); ++expiries) {
            ASSERT_LT(expiries, 20) << "the exchange never ends";
        }
    }

    void JudgeEarly(int minimumGapMs) {
        host.early = true;
        sequence.SetEarlyJudgement(minimumGapMs, [this] {
            return std::chrono::steady_clock::time_point(std::chrono::milliseconds(host.now));
        });
    }

    // Bytes and expiries in the order of their times, against a device whose
    // answer bytes come `spacing` ms apart, the first `spacing` ms after its frame.
    void RunPaced(long spacing) {
        std::size_t frames = 0;
        long nextByte = 0;
        for (int steps = 0; steps < 1000; ++steps) {
            if (link.written.size() != frames) {
                frames = link.written.size();
                nextByte = link.writtenAt.back() + spacing;
            }
            std::optional<long> due = host.timerDue;
            int id = kReplyTimerId;
            if (host.quietDue && (!due || *host.quietDue < *due)) {
                due = host.quietDue;
                id = kQuietTimerId;
            }
            if (!link.inFlight.empty() && (!due || nextByte < *due)) {
                host.now = std::exchange(nextByte, nextByte + spacing);
                const char byte = link.inFlight.front();
                link.inFlight.erase(0, 1);
                sequence.OnLinkRxChar(static_cast<unsigned char>(byte), host.port);
            } else if (due) {
                host.now = *due;
                sequence.OnTimer(id);
            } else {
                return;
            }
        }
        FAIL() << "the exchange never ends";
    }

    // The counter after Send and after each of `good` good answers: 1, 1, 2 ... good.
    static std::vector<int> CounterAfter(int good) {
        std::vector<int> shown{1};
        for (int k = 1; k <= good; ++k) shown.push_back(k);
        return shown;
    }

    FakeHost host;
    FakeLink link{host.now};
    UploadSequence sequence{host, link};
};

// A good answer is fifteen bytes ending in zero, whatever the fourteen before.
class GoodUploadTest : public UploadSequenceTest,
                       public ::testing::WithParamInterface<ByteString> {};

TEST_P(GoodUploadTest, SendsFifteenFramesInRowOrderOnePerPeriod) {
    link.device = [](std::size_t) { return GetParam(); };
    sequence.OnSend();
    RunToEnd();

    ASSERT_EQ(link.written.size(), 15U);
    for (int row = 0; row < kMaxRows; ++row) {
        const auto r = static_cast<std::size_t>(row);
        EXPECT_EQ(link.written[r], UploadFrame(row, host.records[r]));
        EXPECT_EQ(link.writtenAt[r], 1000L * row);
    }
    EXPECT_EQ(host.counter, CounterAfter(15));
    EXPECT_EQ(host.boxes, std::vector<Box>{kDone});
    EXPECT_EQ(host.linkOpenDuringBox, std::vector<bool>{false});
    EXPECT_EQ(sequence.Progress(), 16);
    EXPECT_EQ(sequence.AcknowledgedCount(), 15);
    EXPECT_EQ(link.openedPorts, std::vector<int>{1});
    EXPECT_EQ(sequence.FrameList(), link.written);
}

INSTANTIATE_TEST_SUITE_P(Answers, GoodUploadTest,
                         ::testing::Values(Reply(15), ByteString(15, '\0'),
                                           Reply(15, '\0').replace(0, 3, "\x7E\xFF\x01")));

struct BadAnswer {
    const char* name;
    std::size_t badFrame;
    ByteString reply;
    Box box;
};

class BadUploadAnswerTest : public UploadSequenceTest,
                            public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(BadUploadAnswerTest, StopsAtTheFirstBadAnswer) {
    const BadAnswer& bad = GetParam();
    link.device = [&](std::size_t index) { return index == bad.badFrame ? bad.reply : Reply(15); };
    sequence.OnSend();
    RunToEnd();

    EXPECT_EQ(link.written.size(), bad.badFrame + 1);
    EXPECT_EQ(host.boxes, std::vector<Box>{bad.box});
    EXPECT_EQ(host.linkOpenDuringBox, std::vector<bool>{false});
    std::vector<int> counter = CounterAfter(static_cast<int>(bad.badFrame));
    counter.push_back(0);
    EXPECT_EQ(host.counter, counter);
    EXPECT_EQ(sequence.Progress(), 0);
    EXPECT_TRUE(sequence.ReplyBuffer().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BadUploadAnswerTest,
    ::testing::Values(BadAnswer{"LastByteSetOnFirst", 0, Reply(15, '\x01'), kCommError},
                      BadAnswer{"LastByteSetInMiddle", 7, Reply(15, '\x01'), kCommError},
                      BadAnswer{"LastByteSetOnLast", 14, Reply(15, '\x01'), kCommError},
                      BadAnswer{"Silence", 4, Reply(0), kNoReply},
                      BadAnswer{"FrameEchoedOnly", 4, Reply(12), kNoReply},
                      BadAnswer{"OneShort", 4, Reply(14), kNoReply},
                      BadAnswer{"OneTooMany", 4, Reply(16), kNoReply}),
    CaseName());

struct DeleteCase {
    const char* name;
    ByteString reply;
    Box box;
};

class DstDeleteTest : public UploadSequenceTest,
                      public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DstDeleteTest, JudgesItsSingleAnswer) {
    link.device = [](std::size_t) { return GetParam().reply; };
    sequence.OnDstDelete();
    RunToEnd();

    EXPECT_EQ(link.written, std::vector<ByteString>{DstDeleteFrame()});
    EXPECT_EQ(host.boxes, std::vector<Box>{GetParam().box});
    EXPECT_EQ(host.linkOpenDuringBox, std::vector<bool>{false});
    EXPECT_EQ(host.singleCommandDuringBox, std::vector<int>{1});
    EXPECT_EQ(sequence.SingleCommandMode(), 0);
    EXPECT_EQ(sequence.ReplyBuffer(), GetParam().reply);
    // The upload's state is not the delete's business.
    EXPECT_TRUE(host.counter.empty());
    EXPECT_TRUE(sequence.FrameList().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, DstDeleteTest,
                         ::testing::Values(DeleteCase{"Good", Reply(15), kDone},
                                           DeleteCase{"AllZero", ByteString(15, '\0'), kDone},
                                           DeleteCase{"FrameEchoedOnly", Reply(12), kNoReply},
                                           DeleteCase{"Silence", Reply(0), kCommError},
                                           DeleteCase{"OneShort", Reply(14), kCommError},
                                           DeleteCase{"OneTooMany", Reply(16), kCommError},
                                           DeleteCase{"LastByteSet", Reply(15, '\x01'),
                                                      kCommError}),
                         CaseName());

TEST_F(UploadSequenceTest, TwoDstDeletesInARowAreBothDone) {
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnDstDelete();
    RunToEnd();
    sequence.OnDstDelete();
    RunToEnd();
    EXPECT_EQ(host.boxes, (std::vector<Box>{kDone, kDone}));
    EXPECT_EQ(link.openedPorts.size(), 2U);
}

TEST_F(UploadSequenceTest, SendTakesOverADstDeleteInFlight) {
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnDstDelete();
    Deliver();  // the delete's answer is in, but its timer has not run out
    host.now = 300;
    sequence.OnSend();
    RunToEnd();

    ASSERT_EQ(link.written.size(), 16U);
    EXPECT_EQ(link.writtenAt[1], 300);
    EXPECT_EQ(link.writtenAt[2], 1300);
    EXPECT_EQ(host.boxes, std::vector<Box>{kDone});
    EXPECT_EQ(host.counter, CounterAfter(15));
}

// The earlier exchange ends with the takeover: no late verdict on an answer
// that the failed takeover threw away.
TEST_F(UploadSequenceTest, ATakeoverThatCannotOpenEndsTheEarlierExchange) {
    link.device = [](std::size_t) { return Reply(15); };
    for (const bool deleteFirst : {true, false}) {
        SCOPED_TRACE(deleteFirst ? "Send after DST Delete" : "DST Delete after Send");
        host.boxes.clear();
        link.openSucceeds = true;
        deleteFirst ? sequence.OnDstDelete() : sequence.OnSend();
        link.openSucceeds = false;
        deleteFirst ? sequence.OnSend() : sequence.OnDstDelete();
        RunToEnd();
        EXPECT_EQ(host.boxes, std::vector<Box>{kUnableToOpen});
        EXPECT_FALSE(host.timerDue);
        EXPECT_FALSE(link.isOpen);
    }
    EXPECT_EQ(link.written.size(), 2U);
}

// A worker that never started would leave the line silent: "No reply!" for a
// device that was never asked.
TEST_F(UploadSequenceTest, AWorkerThatCannotStartIsAPortThatCannotBeUsed) {
    link.startSucceeds = false;
    for (const bool send : {true, false}) {
        host.boxes.clear();
        send ? sequence.OnSend() : sequence.OnDstDelete();
        EXPECT_EQ(host.boxes, std::vector<Box>{kUnableToOpen});
        EXPECT_FALSE(host.timerDue);
        EXPECT_FALSE(link.isOpen);
    }
    EXPECT_TRUE(link.written.empty());
}

TEST_F(UploadSequenceTest, SendThatCannotOpenWritesNothingAndShowsOne) {
    sequence.OnLinkRxChar('x', 1);
    link.openSucceeds = false;
    sequence.OnSend();

    EXPECT_EQ(host.boxes, std::vector<Box>{kUnableToOpen});
    EXPECT_EQ(host.counter, std::vector<int>{1});
    EXPECT_EQ(sequence.Progress(), 1);
    EXPECT_EQ(sequence.AcknowledgedCount(), 0);
    EXPECT_EQ(sequence.FrameList().size(), 15U);
    EXPECT_TRUE(sequence.ReplyBuffer().empty());
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(link.starts, 0);
    EXPECT_FALSE(host.timerDue);
}

TEST_F(UploadSequenceTest, DstDeleteThatCannotOpenOnlyEmptiesTheBuffer) {
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnSend();
    RunToEnd();
    const std::vector<ByteString> frames = sequence.FrameList();
    sequence.OnLinkRxChar('x', 1);
    link.openSucceeds = false;
    sequence.OnDstDelete();

    EXPECT_EQ(host.boxes, (std::vector<Box>{kDone, kUnableToOpen}));
    EXPECT_EQ(sequence.Progress(), 16);
    EXPECT_EQ(sequence.FrameList(), frames);
    EXPECT_TRUE(sequence.ReplyBuffer().empty());
    EXPECT_FALSE(host.timerDue);
}

TEST_F(UploadSequenceTest, SettingsChangedMidUploadApplyFromTheirNextUse) {
    link.device = [](std::size_t) { return Reply(15); };
    host.port = 3;
    sequence.OnSend();
    for (int i = 0; i < 3; ++i) Expire();
    host.timeout = 250;  // frame 3 is in flight with the old period
    host.port = 5;
    RunToEnd();
    sequence.OnDstDelete();

    ASSERT_EQ(link.writtenAt.size(), 16U);
    EXPECT_EQ(link.writtenAt[3], 3000);
    EXPECT_EQ(link.writtenAt[4], 4000);
    EXPECT_EQ(link.writtenAt[5], 4250);
    EXPECT_EQ(link.writtenAt[14], 6500);
    EXPECT_EQ(link.openedPorts, (std::vector<int>{3, 5}));
}

// The button is disabled then; should the command come anyway, nothing starts.
TEST_F(UploadSequenceTest, SendWithoutAFullTableDoesNothing) {
    host.records.pop_back();
    sequence.OnSend();
    EXPECT_TRUE(link.openedPorts.empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(sequence.FrameList().empty());
}

TEST_F(UploadSequenceTest, EveryByteIsKeptAsItsLowEightBits) {
    EXPECT_EQ(sequence.OnLinkRxChar(0x100, 1), 0);  // a zero byte is data
    sequence.OnLinkRxChar(0x1FE, 1);
    sequence.OnLinkRxChar(0x41, 99);
    EXPECT_EQ(sequence.ReplyBuffer(), ByteString("\0\xFE\x41", 3));
}

TEST_F(UploadSequenceTest, OtherTimersDoNotDisturbTheExchange) {
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnSend();
    sequence.OnTimer(kReplyTimerId + 1);
    EXPECT_TRUE(host.timerDue);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(link.written.size(), 1U);
}

TEST_F(UploadSequenceTest, EarlyJudgementWaitsForThreeMeanOrTwoSlowestSpacingsOfTheAnswer) {
    JudgeEarly(30);
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnSend();
    RunPaced(8);  // 15 bytes by 120 ms, then 30 ms of quiet (more than 3 x 8)
    EXPECT_EQ(host.boxes, std::vector<Box>{kDone});
    ASSERT_EQ(link.written.size(), 15U);
    EXPECT_EQ(link.writtenAt[1], 150);
    EXPECT_EQ(host.counter, CounterAfter(15));

    // A slow device still gets its verdict early once the line has been quiet
    // for three of its spacings.
    sequence.OnDstDelete();
    RunPaced(40);
    EXPECT_EQ(host.boxes, (std::vector<Box>{kDone, kDone}));
    EXPECT_EQ(host.now, link.writtenAt.back() + 15L * 40 + 3L * 40);

    // One pause of 50 ms within a fast answer (a byte a millisecond): twice
    // the pause (100 ms) is longer than three mean spacings (3 x 63 / 14 ms).
    link.device = [](std::size_t) { return Reply(15); };
    sequence.OnDstDelete();
    const long written = host.now;
    for (long i = 0; i < 15; ++i) {
        host.now = written + (i < 14 ? i : 13 + 50);
        sequence.OnLinkRxChar('\0', host.port);
    }
    EXPECT_EQ(host.quietDue, host.now + 100);
}

TEST_F(UploadSequenceTest, EarlyJudgementReachesTheVerdictOfTheFullWaitOnASlowDevice) {
    // The sixteenth byte comes 40 ms after the fifteenth: longer than the
    // minimum gap, so only a gap that grows with the spacing sees it.
    JudgeEarly(30);
    link.device = [](std::size_t) { return Reply(16); };
    sequence.OnSend();
    RunPaced(40);
    EXPECT_EQ(host.boxes, std::vector<Box>{kNoReply});
    EXPECT_EQ(link.written.size(), 1U);
    EXPECT_EQ(host.now, 1000) << "the reply timer judged";
}

}  // namespace
}  // namespace velmora
