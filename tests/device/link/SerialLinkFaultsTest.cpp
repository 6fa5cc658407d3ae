// A port that takes only part of its settings, and an owner that closes the
// link while it shows Open's report.
#include <gtest/gtest.h>

#include <optional>

#include "../CaseName.h"
#include "FakeSystemCalls_unix.h"
#include "LinkTestSupport.h"

namespace velmora::test {
namespace {

struct PartialSettings {
    const char* name;
    LineSettings line;
    std::function<void(termios&)> alter;  // what the port changes; none: the pseudo-terminal itself
    const char* notTaken;
    friend void PrintTo(const PartialSettings& settings, std::ostream* out) {
        *out << settings.name;
    }
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
        PartialSettings{"StopBits", kUploadLine,
                        [](termios& settings) { settings.c_cflag |= CSTOPB; }, "stop bits"},
        PartialSettings{"RawMode", kUploadLine,
                        [](termios& settings) { settings.c_lflag |= ICANON; }, "raw mode"},
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
