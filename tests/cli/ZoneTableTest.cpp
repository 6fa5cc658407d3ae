#include <gtest/gtest.h>

#include "ZoneTable.h"

using namespace velmora;
using namespace velmora::cli;

namespace {

ZoneRows Made(const std::string& zone, int firstYear) {
    ZoneRows made = BuildZoneRows(zone, firstYear);
    EXPECT_EQ(made.error, "");
    EXPECT_EQ(made.rows.size(), 15u);
    if (made.rows.size() != 15u) made.rows.resize(15);
    return made;
}

}  // namespace

TEST(ZoneTable, NorthernZoneRowsRunFromMarchToOctoberOfTheirYear) {
    const ZoneRows berlin = Made("Europe/Berlin", 2027);
    EXPECT_EQ(berlin.rows[0], (DstRow{"28/03/2027", "31/10/2027"}));
    EXPECT_EQ(berlin.rows[14], (DstRow{"31/03/2041", "27/10/2041"}));

    // Past the years the database lists one by one, its rule for later years
    // gives the dates: the scan must not stop there.
    const ZoneRows late = Made("Europe/Berlin", 2030);
    EXPECT_EQ(late.rows[7], (DstRow{"29/03/2037", "25/10/2037"}));
    EXPECT_EQ(late.rows[8], (DstRow{"28/03/2038", "31/10/2038"}));
    EXPECT_EQ(Made("Europe/Berlin", 2085).rows[14], (DstRow{"29/03/2099", "25/10/2099"}));

    EXPECT_EQ(Made("America/New_York", 2027).rows[0], (DstRow{"14/03/2027", "07/11/2027"}));
}

TEST(ZoneTable, SouthernZoneRowsBeginInTheYearBefore) {
    const ZoneRows sydney = Made("Australia/Sydney", 2027);
    EXPECT_EQ(sydney.rows[0], (DstRow{"04/10/2026", "04/04/2027"}));
    for (int i = 0; i < 15; ++i) {
        const std::string year = std::to_string(2027 + i);
        const std::string yearBefore = std::to_string(2026 + i);
        EXPECT_EQ(sydney.rows[i].begin.substr(2), "/10/" + yearBefore) << "row " << i;
        EXPECT_EQ(sydney.rows[i].end.substr(2), "/04/" + year) << "row " << i;
    }
}

TEST(ZoneTable, TheRisingOffsetBeginsThePeriodWhateverTheDaylightFlag) {
    // Dublin's database calls its winter time the "daylight" one, with a
    // negative saving; its summer still begins in March.
    EXPECT_EQ(Made("Europe/Dublin", 2027).rows[0], (DstRow{"28/03/2027", "31/10/2027"}));
}

TEST(ZoneTable, MidnightChangesTakeTheDateTheClockShowsAfterwards) {
    // Santiago puts its clock forward from 00:00 to 01:00 on a Sunday of
    // September and back from 00:00 to Saturday 23:00 in April.
    EXPECT_EQ(Made("America/Santiago", 2027).rows[0], (DstRow{"06/09/2026", "03/04/2027"}));
}

TEST(ZoneTable, RefusesUnknownZonesZonesWithoutDstAndYearsOutOfRange) {
    const ZoneRows tokyo = BuildZoneRows("Asia/Tokyo", 2027);
    EXPECT_TRUE(tokyo.rows.empty());
    EXPECT_NE(tokyo.error.find("Asia/Tokyo"), std::string::npos);
    EXPECT_NE(tokyo.error.find("2027"), std::string::npos);

    // Santiago kept its summer time through the winter of 2015.
    EXPECT_NE(BuildZoneRows("America/Santiago", 2010).error.find("ending in 2015"),
              std::string::npos);

    for (const std::string zone : {"Nope", "Nowhere/Atlantis", "", "../../etc/passwd"})
        EXPECT_NE(BuildZoneRows(zone, 2027).error.find("unknown time zone"), std::string::npos)
            << zone;

    EXPECT_NE(BuildZoneRows("Europe/Berlin", 2000).error.find("2000"), std::string::npos);
    EXPECT_NE(BuildZoneRows("Europe/Berlin", 2086).error.find("2086"), std::string::npos);
    EXPECT_TRUE(BuildZoneRows("Europe/Berlin", 2001).error.empty());
}
