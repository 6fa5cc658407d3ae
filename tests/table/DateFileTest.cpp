#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "DateFile.h"
#include "Files.h"
#include "TempDir.h"

namespace velmora {
namespace {

constexpr DateOrder kDayFirst = 0;
constexpr DateOrder kMonthFirst = 1;

class DateFileTest : public ::testing::Test {
  protected:
    std::string File(const std::string& name) const { return dir_.File(name); }
    static void WriteRaw(const std::string& path, const std::string& bytes) {
        test::WriteBytes(path, bytes);
    }

    static DateFileBytes Pattern() {
        DateFileBytes bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 3 + 1);
        return bytes;
    }

    test::TempDir dir_{"velmora-datefile-"};
};

std::vector<DstRow> FifteenRows() {
    std::vector<DstRow> rows;
    rows.reserve(kMaxRows);
    for (int i = 0; i < kMaxRows; ++i) {
        rows.push_back({ComposeDateText(i + 1, 3, 2000 + i, kDayFirst),
                        ComposeDateText(28 - i, 10, 2000 + i, kDayFirst)});
    }
    rows[0] = {"05/03/2007", "29/10/2007"};
    rows[1] = {"25/12/2006", "01/04/2007"};
    return rows;
}

TEST(DateFileBytes, RowsAndBytesConvertBothWays) {
    const std::vector<DstRow> rows = FifteenRows();
    const DateFileBytes bytes = RowsToFileBytes(rows, kDayFirst);
    const DstRecord first{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]};
    const DstRecord second{bytes[5], bytes[6], bytes[7], bytes[8], bytes[9]};
    EXPECT_EQ(first, (DstRecord{0x05, 0x03, 0x1D, 0x0A, 0x07}));
    EXPECT_EQ(second, (DstRecord{0x19, 0x0C, 0x01, 0x04, 0x07}));
    EXPECT_EQ(bytes[70], 15);  // row 14 begins on the 15th
    EXPECT_EQ(bytes[74], 14);  // of 2014

    std::vector<DstRow> loaded = FileBytesToRows(bytes, kDayFirst);
    ASSERT_EQ(loaded.size(), 15u);
    // A begin date in another year than its end date comes back in the end date's year.
    EXPECT_EQ(loaded[1], (DstRow{"25/12/2007", "01/04/2007"}));
    loaded[1] = rows[1];
    EXPECT_EQ(loaded, rows);
}

TEST(DateFileBytes, SavedInOneOrderLoadsInTheOther) {
    const DateFileBytes bytes = RowsToFileBytes(FifteenRows(), kDayFirst);
    const std::vector<DstRow> monthFirst = FileBytesToRows(bytes, kMonthFirst);
    EXPECT_EQ(monthFirst[0], (DstRow{"03/05/2007", "10/29/2007"}));
    EXPECT_EQ(RowsToFileBytes(monthFirst, kMonthFirst), bytes);
}

TEST(DateFileBytes, ExtraRowsAreNotStoredAndMissingOnesAreZero) {
    std::vector<DstRow> rows = FifteenRows();
    const DateFileBytes fifteen = RowsToFileBytes(rows, kDayFirst);
    rows.push_back({"01/01/2001", "02/02/2002"});
    EXPECT_EQ(RowsToFileBytes(rows, kDayFirst), fifteen);
    const DateFileBytes one = RowsToFileBytes({{"05/03/2007", "29/10/2007"}}, kDayFirst);
    EXPECT_EQ(one[4], 7);
    EXPECT_TRUE(std::all_of(one.begin() + 5, one.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(DstSuffix, AppendedUnlessTheNameEndsInLowerCaseDst) {
    EXPECT_EQ(WithDstSuffix("/home/u/table"), "/home/u/table.dst");
    EXPECT_EQ(WithDstSuffix("/home/u/table.dst"), "/home/u/table.dst");
    EXPECT_EQ(WithDstSuffix("TABLE.DST"), "TABLE.DST.dst");
    EXPECT_EQ(WithDstSuffix("table.Dst"), "table.Dst.dst");
    EXPECT_EQ(WithDstSuffix(".dst"), ".dst");
    EXPECT_EQ(WithDstSuffix("dst"), "dst.dst");
    EXPECT_EQ(WithDstSuffix(""), ".dst");
}

TEST_F(DateFileTest, WrittenFileReadsBack) {
    const std::string path = File("table.dst");
    ASSERT_TRUE(WriteDateFile(path, Pattern()));
    EXPECT_EQ(test::ReadBytes(path).size(), 75u);
    DateFileBytes back{};
    ASSERT_TRUE(ReadDateFile(path, back));
    EXPECT_EQ(back, Pattern());
}

TEST_F(DateFileTest, ReadsOnlyTheFirst75Bytes) {
    const std::string path = File("long.dst");
    std::string raw(reinterpret_cast<const char*>(Pattern().data()), 75);
    WriteRaw(path, raw + "trailing bytes");
    DateFileBytes back{};
    ASSERT_TRUE(ReadDateFile(path, back));
    EXPECT_EQ(back, Pattern());
}

TEST_F(DateFileTest, RefusesShortMissingAndNonRegularFiles) {
    DateFileBytes out = Pattern();
    const std::string shortFile = File("short.dst");
    WriteRaw(shortFile, std::string(74, '\x01'));
    EXPECT_FALSE(ReadDateFile(shortFile, out));
    WriteRaw(shortFile, "");
    EXPECT_FALSE(ReadDateFile(shortFile, out));
    EXPECT_FALSE(ReadDateFile(File("none.dst"), out));
    EXPECT_FALSE(ReadDateFile(dir_.Path(), out));
    EXPECT_EQ(out, Pattern()) << "a refused file must leave the output untouched";
}

TEST_F(DateFileTest, SaveAndOpenRestoreTheTable) {
    const std::string path = WithDstSuffix(File("year"));
    const std::vector<DstRow> rows{15, {"/03/2007", "29/10/2007"}};
    ASSERT_TRUE(WriteDateFile(path, RowsToFileBytes(rows, kDayFirst)));
    DateFileBytes bytes{};
    ASSERT_TRUE(ReadDateFile(path, bytes));
    EXPECT_EQ(FileBytesToRows(bytes, kDayFirst), rows);
    EXPECT_EQ(FileBytesToRows(bytes, kMonthFirst)[14], (DstRow{"03//2007", "10/29/2007"}));
}

}  // namespace
}  // namespace velmora
