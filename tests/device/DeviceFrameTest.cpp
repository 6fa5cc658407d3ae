#include <gtest/gtest.h>

#include <vector>

#include "CaseName.h"
#include "DeviceFrame.h"

namespace velmora {
namespace {

ByteString Bytes(std::initializer_list<int> values) {
    ByteString bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<char>(v));
    }
    return bytes;
}

struct ChecksumCase {
    const char* name;
    ByteString input;
    std::uint8_t expected;
};

class FrameChecksumTest : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(FrameChecksumTest, MatchesKnownValue) {
    EXPECT_EQ(FrameChecksum(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(KnownValues, FrameChecksumTest,
                         ::testing::Values(ChecksumCase{"abc", "abc", 0x99},
                                           ChecksumCase{"Digits", "123456789", 0x9D}),
                         CaseName());

struct FrameCase {
    const char* name;
    ByteString frame;
    ByteString expected;
};

class FrameLayoutTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameLayoutTest, ComposesTheWireBytes) {
    const ByteString& frame = GetParam().frame;
    ASSERT_EQ(frame.size(), kFrameSize);
    EXPECT_EQ(frame, GetParam().expected);
}

constexpr DstRecord kMarchToOctober2007{0x05, 0x03, 0x1D, 0x0A, 0x07};

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, FrameLayoutTest,
    ::testing::Values(
        FrameCase{"DstDelete", DstDeleteFrame(),
                  Bytes({0x7E, 0x0C, 0x2B, 0x00, 0x65, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0x00, 0xF7})},
        FrameCase{"FirstRow", UploadFrame(0, kMarchToOctober2007),
                  Bytes({0x7E, 0x0C, 0x2B, 0x00, 0x65, 0x05, 0x03, 0x1D, 0x0A, 0x07, 0x00, 0xCE})},
        FrameCase{"LastRow", UploadFrame(14, kMarchToOctober2007),
                  Bytes({0x7E, 0x0C, 0x2B, 0x00, 0x73, 0x05, 0x03, 0x1D, 0x0A, 0x07, 0x00, 0xBB})},
        // The year 2000 puts a third zero byte into the frame; it stays 12 bytes.
        FrameCase{"Year2000", UploadFrame(3, DstRecord{26, 3, 29, 10, 0}),
                  Bytes({0x7E, 0x0C, 0x2B, 0x00, 0x68, 26, 3, 29, 10, 0x00, 0x00, 0xE7})}),
    CaseName());

// The checksum is the remainder of the first eleven bytes: run over all twelve it
// leaves zero, which is how the receiving end checks a frame.
TEST(DeviceFrameTest, EveryFrameChecksumsToZeroOverAllTwelveBytes) {
    std::vector<ByteString> frames{DstDeleteFrame()};
    for (int row = 0; row < kMaxRows; ++row) {
        const auto b = static_cast<std::uint8_t>(row * 17);
        frames.push_back(UploadFrame(row, DstRecord{b, 0x00, 0xFF, b, 0x80}));
    }
    for (const ByteString& frame : frames) {
        ASSERT_EQ(frame.size(), kFrameSize);
        EXPECT_EQ(FrameChecksum(frame), 0x00) << "slot " << int(std::uint8_t(frame[4]));
    }
}

TEST(DeviceFrameTest, RowsTakeSlots101To115AndDeleteSharesTheFirst) {
    for (int row = 0; row < kMaxRows; ++row) {
        EXPECT_EQ(std::uint8_t(UploadFrame(row, kMarchToOctober2007)[4]), 101 + row);
    }
    EXPECT_EQ(DstDeleteFrame()[4], UploadFrame(0, kMarchToOctober2007)[4]);
}

}  // namespace
}  // namespace velmora
