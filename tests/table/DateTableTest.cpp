#include <gtest/gtest.h>

#include "DateTable.h"

namespace velmora {
namespace {

constexpr DateOrder kDayFirst = 0;
constexpr DateOrder kMonthFirst = 1;

const DstRecord kMarchToOctober2007{0x05, 0x03, 0x1D, 0x0A, 0x07};

TEST(DateText, AddComposesPaddedTextsInEitherOrder) {
    EXPECT_EQ(ComposeDateText(5, 3, 2007, kDayFirst), "05/03/2007");
    EXPECT_EQ(ComposeDateText(29, 10, 2007, kDayFirst), "29/10/2007");
    EXPECT_EQ(ComposeDateText(5, 3, 2007, kMonthFirst), "03/05/2007");
    EXPECT_EQ(ComposeDateText(29, 10, 2007, kMonthFirst), "10/29/2007");
    // Any non-zero order is month first.
    EXPECT_EQ(ComposeDateText(5, 3, 2007, -7), "03/05/2007");
    // The year is printed as it is, padded only when it is a single digit.
    EXPECT_EQ(ComposeDateText(1, 1, 5, kDayFirst), "01/01/05");
    EXPECT_EQ(ComposeDateText(1, 1, 12345, kDayFirst), "01/01/12345");
}

TEST(RowToRecord, FullTextsGiveTheSameRecordInBothOrders) {
    EXPECT_EQ(RowToRecord({"05/03/2007", "29/10/2007"}, kDayFirst), kMarchToOctober2007);
    EXPECT_EQ(RowToRecord({"03/05/2007", "10/29/2007"}, kMonthFirst), kMarchToOctober2007);
    // Only the end text's year is kept.
    EXPECT_EQ(RowToRecord({"25/12/2006", "01/04/2007"}, kDayFirst),
              (DstRecord{0x19, 0x0C, 0x01, 0x04, 0x07}));
}

TEST(RowToRecord, FullTextsKeepTheUncheckedDigitArithmetic) {
    // ('A' * 10 + 'B' - 528) = 650 + 66 - 528 = 188; ('/' * 10 + '0' - 528) wraps to 246;
    // year 1999 keeps its last two digits.
    EXPECT_EQ(RowToRecord({"AB/03/2007", "/0/10/1999"}, kDayFirst),
              (DstRecord{188, 3, 246, 10, 99}));
    // A text longer than ten characters is still read at the fixed positions.
    EXPECT_EQ(RowToRecord({"05/03/2007", "29/10/20071"}, kDayFirst), kMarchToOctober2007);
}

TEST(RowToRecord, ShortTextsAreReadFieldByField) {
    // Empty day or month fields, as a file with a 0 or >= 128 byte loads them.
    EXPECT_EQ(RowToRecord({"/03/2007", "29//2007"}, kDayFirst), (DstRecord{0, 3, 29, 0, 7}));
    EXPECT_EQ(RowToRecord({"03//2007", "//2007"}, kMonthFirst), (DstRecord{0, 3, 0, 0, 7}));
    // One-character fields are their units digit; missing fields give 0 and the
    // reading never runs past the end of the text.
    EXPECT_EQ(RowToRecord({"5/3/7", ""}, kDayFirst), (DstRecord{5, 3, 0, 0, 0}));
    EXPECT_EQ(RowToRecord({"1", "2/"}, kMonthFirst), (DstRecord{0, 1, 0, 2, 0}));
}

TEST(RecordToRow, BuildsTextsInEitherOrder) {
    EXPECT_EQ(RecordToRow(kMarchToOctober2007, kDayFirst), (DstRow{"05/03/2007", "29/10/2007"}));
    EXPECT_EQ(RecordToRow(kMarchToOctober2007, kMonthFirst), (DstRow{"03/05/2007", "10/29/2007"}));
}

TEST(RecordToRow, BytesAreSigned) {
    EXPECT_EQ(RecordToRow({1, 1, 2, 2, 255}, kDayFirst).end, "02/02/1999");
    EXPECT_EQ(RecordToRow({1, 1, 2, 2, 127}, kDayFirst).end, "02/02/2127");
    // 0 and 128..255 leave a field empty; above 99 only the last two digits remain.
    EXPECT_EQ(RecordToRow({0, 3, 200, 128, 7}, kDayFirst), (DstRow{"/03/2007", "//2007"}));
    EXPECT_EQ(RecordToRow({0, 3, 29, 10, 7}, kMonthFirst).begin, "03//2007");
    EXPECT_EQ(RecordToRow({100, 123, 29, 10, 7}, kDayFirst).begin, "00/23/2007");
}

TEST(RecordToRow, ShortTextsSaveBackTheLoadedBytes) {
    for (const DateOrder order : {kDayFirst, kMonthFirst}) {
        for (const DstRecord& record : {DstRecord{0, 3, 29, 10, 7}, DstRecord{5, 0, 0, 10, 7},
                                        DstRecord{0, 0, 0, 0, 0}, DstRecord{31, 12, 1, 1, 99}}) {
            EXPECT_EQ(RowToRecord(RecordToRow(record, order), order), record)
                << "order " << order << " day " << int(record[0]) << " month " << int(record[1]);
        }
    }
}

TEST(Reorder, SwapsTheFirstTwoFields) {
    EXPECT_EQ(ReorderText("05/03/2007"), "03/05/2007");
    EXPECT_EQ(ReorderText(ReorderText("29/10/2007")), "29/10/2007");
    const std::vector<DstRow> rows{{"05/03/2007", "29/10/2007"}, {"25/12/2006", "01/04/2007"}};
    EXPECT_EQ(ReorderRows(rows),
              (std::vector<DstRow>{{"03/05/2007", "10/29/2007"}, {"12/25/2006", "04/01/2007"}}));
    EXPECT_TRUE(ReorderRows({}).empty());
}

TEST(Reorder, ShortTextsKeepTheirBytesThroughAnOrderChange) {
    // A file record with an empty day loads as "/03/2007"; reordering must not
    // move a slash into a field, or the next save writes a different byte.
    EXPECT_EQ(ReorderText("/03/2007"), "03//2007");
    EXPECT_EQ(ReorderText("12//2007"), "/12/2007");
    EXPECT_EQ(ReorderText("//1999"), "//1999");
    for (const DstRecord record : {DstRecord{0, 3, 29, 0, 7}, DstRecord{200, 12, 1, 4, 255}}) {
        const DstRow dayFirst = RecordToRow(record, 0);
        const DstRow reordered{ReorderText(dayFirst.begin), ReorderText(dayFirst.end)};
        EXPECT_EQ(reordered, RecordToRow(record, 1));
        EXPECT_EQ(RowToRecord(reordered, 1), RowToRecord(dayFirst, 0));
    }
    // Texts without two slashes still never fail: the whole text counts as its
    // last seven characters.
    EXPECT_EQ(ReorderText("ab"), "abab");
    EXPECT_EQ(ReorderText(""), "");
}

TEST(FormatNumberText, ShapesByWidth) {
    struct Case {
        int value, width;
        const char* text;
    };
    const Case cases[] = {
        {7, 4, "0007"},
        {2005, 4, "2005"},
        {7, 6, "0007"},
        {7, 2, "07"},
        {2005, 2, "05"},
        {123, 2, "23"},
        {45, 3, "045"},
        {45, 1, "5"},
        {7, -1, "7"},
        {45, -1, "45"},
        {120, -1, "120"},
        {2005, -1, "2005"},
        {45, -3, "5"},
        {9999, 4, "9999"},
        {1, 4, "0001"},
        // Outside 1..9999, or width 0: empty.
        {0, 4, ""},
        {-1, 2, ""},
        {10000, 4, ""},
        {7, 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatNumberText(c.value, c.width), c.text)
            << "value " << c.value << " width " << c.width;
    }
}

}  // namespace
}  // namespace velmora
