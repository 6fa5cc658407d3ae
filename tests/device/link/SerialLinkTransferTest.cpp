// Bytes in both directions, a hang-up and a write cut short, the line settings
// and the error reports of Open.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "FakeSystemCalls_unix.h"
#include "LinkTestSupport.h"

namespace velmora::test {
namespace {

class TransferTest : public ::testing::Test {
  protected:
    void OpenAndStart(int port = 3, std::uint32_t eventMask = kEventMask,
                      int bufferSize = kBufferSize) {
        ASSERT_TRUE(OpenLink(link, owner, device.Path(), port, eventMask, bufferSize));
        ASSERT_TRUE(StartInStep(link, device));
    }

    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
};

TEST_F(TransferTest, EachReceivedByteArrivesAsOneMessageInOrder) {
    OpenAndStart(3);
    device.Send(ByteString("\x00\xFE\x41\x00", 4));

    ASSERT_TRUE(owner.WaitForMessages(4));
    const std::vector<LinkMessage> messages = owner.Messages();
    ASSERT_EQ(messages.size(), 4u);
    const std::uintptr_t expected[] = {0x00, 0xFE, 0x41, 0x00};
    for (std::size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(messages[i].message, WM_LINK_RXCHAR);
        EXPECT_EQ(messages[i].wParam, expected[i]);
        EXPECT_EQ(messages[i].lParam, 3);
        EXPECT_EQ(messages[i].generation, link.Generation());
    }
    EXPECT_TRUE(owner.Reports().empty());
}

TEST_F(TransferTest, FrameWithZeroBytesIsWrittenWhole) {
    OpenAndStart();
    const ByteString frame("\x7E\x0C\x2B\x00\x65\x00\x1C\x03\x00\x17\x00\x5A", kFrameSize);
    link.QueueWrite(frame, static_cast<int>(frame.size()));
    EXPECT_EQ(device.Receive(kFrameSize), frame);
}

TEST_F(TransferTest, BytesAreCopiedBeforeQueueWriteReturns) {
    OpenAndStart();
    const ByteString expected("\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00", kFrameSize);
    auto data = std::make_unique<ByteString>(expected);
    link.QueueWrite(*data, static_cast<int>(kFrameSize));
    data.reset();
    // Likely to take over the freed memory, so that stale reads would show.
    const auto scribble = std::make_unique<ByteString>(kFrameSize, '\xAA');

    EXPECT_EQ(device.Receive(kFrameSize), expected);
}

TEST_F(TransferTest, QueueWriteNeverSendsMoreThanItWasGivenOrCanHold) {
    OpenAndStart(3, kEventMask, 4);
    const ByteString marker("Z");

    link.QueueWrite(ByteString("abc"), 100);  // beyond the data
    EXPECT_EQ(device.Receive(3), "abc");
    link.QueueWrite(ByteString("0123456789"), 10);  // beyond the buffer
    EXPECT_EQ(device.Receive(4), "0123");
    link.QueueWrite(ByteString("xyz"), -5);
    // Whatever came before the marker would have been sent by the requests above.
    link.QueueWrite(marker, 1);
    EXPECT_EQ(device.Receive(1), marker);
}

TEST_F(TransferTest, InputWaitingWhenAWriteStartsIsDiscarded) {
    // Without LinkEvent::RxChar the worker leaves received bytes in the input queue,
    // where only the purge before a write can take them away.
    OpenAndStart(3, LinkEvent::Cts);
    device.Send("stale");
    ASSERT_TRUE(Eventually([&] { return device.InputWaiting() == 5; }));

    link.QueueWrite(ByteString("go"), 2);
    EXPECT_EQ(device.Receive(2), "go");
    EXPECT_EQ(device.InputWaiting(), 0);
    EXPECT_TRUE(owner.Messages().empty());
}

TEST_F(TransferTest, BytesWaitingAtAHangUpAreDeliveredFirst) {
    OpenAndStart(2);

    const HangUpWhenReadable hangUp(device.Path());
    device.Send("ABCDEFG");
    EXPECT_TRUE(owner.WaitForMessages(7, 2s));
    EXPECT_EQ(owner.Bytes(), "ABCDEFG");
    EXPECT_TRUE(owner.Reports().empty());
}

TEST_F(TransferTest, AWriteTheLineNeverTakesIsReportedAtItsTimeOut) {
    OpenAndStart(4);

    ASSERT_TRUE(device.SuspendOutput(true));
    const auto start = std::chrono::steady_clock::now();
    link.QueueWrite(ByteString("F"), 1);
    ASSERT_TRUE(owner.WaitForReports(1));
    // One second, and one more for the byte.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
    const ErrorReport report = owner.Reports().at(0);
    EXPECT_EQ(report.text, CSerialLink::FormatError(
                               "WriteFile()", "The write timed out: 0 of 1 bytes were sent.", 4));
    EXPECT_TRUE(report.fromWorker);
    EXPECT_EQ(report.generation, link.Generation());
    EXPECT_TRUE(device.SuspendOutput(false));
}

TEST_F(TransferTest, OpenSetsRaw1200BaudEightNoneOneWithoutFlowControlAndCloseRestoresTheLine) {
    // The port as a terminal program left it: 9600 baud, cooked, echoing.
    termios before{};
    ASSERT_EQ(tcgetattr(device.Slave(), &before), 0);
    cfsetspeed(&before, B9600);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_oflag |= OPOST;
    ASSERT_EQ(tcsetattr(device.Slave(), TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(device.Slave(), &before), 0);

    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 1));
    termios line{};
    ASSERT_EQ(tcgetattr(device.Slave(), &line), 0);

    EXPECT_EQ(cfgetospeed(&line), B1200);
    EXPECT_EQ(cfgetispeed(&line), B1200);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_TRUE(owner.Reports().empty());

    link.Close();
    termios after{};
    ASSERT_EQ(tcgetattr(device.Slave(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), B9600);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
}

TEST_F(TransferTest, RefusedSettingIsReportedOnceAndThePortStaysUsable) {
    const LineSettings refused[] = {{12345, 'N', 8, 1, kEventMask, kBufferSize},
                                    {1200, 'X', 8, 1, kEventMask, kBufferSize},
                                    {1200, 'N', 9, 1, kEventMask, kBufferSize},
                                    {1200, 'N', 8, 3, kEventMask, kBufferSize},
                                    {0, 'N', 8, 1, kEventMask, kBufferSize}};
    std::size_t opened = 0;
    for (const LineSettings& setting : refused) {
        SCOPED_TRACE(setting.baud);
        ASSERT_TRUE(link.Open(&owner, device.Path(), 4, setting));
        EXPECT_TRUE(link.IsOpen());
        const std::vector<ErrorReport> reports = owner.Reports();
        ASSERT_EQ(reports.size(), ++opened);
        EXPECT_EQ(reports.back().text,
                  CSerialLink::FormatError("BuildCommDCB()", "Invalid argument", 4));
        EXPECT_FALSE(reports.back().fromWorker);
    }

    ASSERT_TRUE(StartInStep(link, device));
    device.Send("k");
    ASSERT_TRUE(owner.WaitForMessages(1));
    EXPECT_EQ(owner.Bytes(), "k");
    link.QueueWrite(ByteString("ok"), 2);
    EXPECT_EQ(device.Receive(2), "ok");
}

// The window's fault cases read the whole box of a failed call; here only a
// system text longer than any the ports give is kept whole.
TEST(FormatErrorTest, KeepsALongSystemTextWhole) {
    const std::string longText(4000, 'e');
    EXPECT_EQ(
        CSerialLink::FormatError("ReadFile()", longText, 8),
        "WARNING:  ReadFile() Failed with the following error: \n" + longText + "\nPort: 8\n");
}

}  // namespace
}  // namespace velmora::test
