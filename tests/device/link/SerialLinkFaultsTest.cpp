// A port that takes only part of its settings, a hang-up with bytes still
// waiting, a write that the line never takes, and an owner that closes the link
// while it shows Open's report.
#include <gtest/gtest.h>

#include <optional>

#include "../CaseName.h"
#include "FakeSystemCalls.h"
#include "LinkTestSupport.h"

namespace velmora::test {
namespace {

struct PartialSettings {
    const char* name;
    LineSettings line;
    std::function<void(termios&)> alter;  // what the port changes; none: the pseudo-terminal itself
    const char* notTaken;
    friend void PrintTo(const PartialSettings& settings, std::ostream* out) { *out << settings.name; }
};

class PartialSettingsTest : public ::testing::TestWithParam<PartialSettings> {};

TEST_P(PartialSettingsTest, IsTheSetCommStateFailureAndThePortStaysOpen) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    std::optional<AlteredSetAttr> port;
    if (GetParam().alter) port.emplace(GetParam().alter);

    ASSERT_TRUE(link.Open(&owner, device.Path(), 3, GetParam().line));
    EXPECT_TRUE(link.IsOpen());
    const std::vector<ErrorReport> reports = owner.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text,
              CSerialLink::FormatError(
                  "SetCommState()",
                  std::string("The port did not take these settings: ") + GetParam().notTaken, 3));
    EXPECT_FALSE(reports[0].fromWorker);
}

LineSettings Line(int dataBits, char parity) {
    LineSettings line = kUploadLine;
    line.dataBits = dataBits;
    line.parity = parity;
    return line;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PartialSettingsTest,
    ::testing::Values(
        PartialSettings{"Speed", kUploadLine,
                        [](termios& settings) { cfsetspeed(&settings, B9600); }, "speed"},
        PartialSettings{"StopBits", kUploadLine, [](termios& settings) { settings.c_cflag |= CSTOPB; },
                        "stop bits"},
        PartialSettings{"RawMode", kUploadLine, [](termios& settings) { settings.c_lflag |= ICANON; },
                        "raw mode"},
        PartialSettings{"FlowControlAndSpeed", kUploadLine,
                        [](termios& settings) {
                            settings.c_cflag |= CRTSCTS;
                            cfsetspeed(&settings, B2400);
                        },
                        "speed, flow control"},
        // A pseudo-terminal always has eight data bits and no parity.
        PartialSettings{"DataBits", Line(7, 'N'), nullptr, "data bits"},
        PartialSettings{"Parity", Line(8, 'E'), nullptr, "parity"}),
    CaseName());

TEST(LinkFaultsTest, BytesWaitingAtAHangUpAreDeliveredFirst) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 2));
    ASSERT_TRUE(StartInStep(link, device));

    const HangUpWhenReadable hangUp(device.Path());
    device.Send("ABCDEFG");
    EXPECT_TRUE(owner.WaitForMessages(7, 2s));
    EXPECT_EQ(owner.Bytes(), "ABCDEFG");
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LinkFaultsTest, AWriteTheLineNeverTakesIsReportedAtItsTimeOut) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 4));
    ASSERT_TRUE(StartInStep(link, device));

    // The terminal's output is suspended: nothing more leaves the port.
    ASSERT_EQ(tcflow(device.Slave(), TCOOFF), 0);
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
    tcflow(device.Slave(), TCOON);
}

TEST(LinkFaultsTest, AnOwnerThatClosesTheLinkDuringOpensReportGetsFalse) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    owner.onReport = [&] { link.Close(); };
    const AlteredSetAttr port([](termios& settings) { cfsetspeed(&settings, B9600); });

    EXPECT_FALSE(OpenLink(link, owner, device.Path(), 1));
    EXPECT_EQ(owner.Reports().size(), 1u);
    EXPECT_EQ(link.OpenError(), ECANCELED);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.Start());
}

}  // namespace
}  // namespace velmora::test
