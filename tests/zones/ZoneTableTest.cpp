#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

#include "ZoneTable.h"

using namespace velmora;

namespace {

constexpr auto kCalendar = RowsConvention::Calendar;
constexpr auto kPeriod = RowsConvention::Period;

ZoneRows Made(const std::string& zone, int firstYear, RowsConvention rows = kCalendar) {
    ZoneRows made = BuildZoneRows(zone, firstYear, rows);
    EXPECT_EQ(made.error, "");
    EXPECT_EQ(made.rows.size(), 15u);
    if (made.rows.size() != 15u) made.rows.resize(15);
    return made;
}

std::vector<DstRecord> Records(const std::vector<DstRow>& rows) {
    std::vector<DstRecord> records;
    records.reserve(rows.size());
    for (const DstRow& row : rows) records.push_back(RowToRecord(row, 0));
    return records;
}

QDate DateOf(const std::string& dayFirst) {
    return QDate::fromString(QString::fromStdString(dayFirst), QStringLiteral("dd/MM/yyyy"));
}

}  // namespace

TEST(ZoneTable, NorthernZoneRowsAreTheSameInBothConventions) {
    for (const RowsConvention rows : {kCalendar, kPeriod}) {
        const ZoneRows berlin = Made("Europe/Berlin", 2027, rows);
        EXPECT_EQ(berlin.rows[0], (DstRow{"28/03/2027", "31/10/2027"}));
        EXPECT_EQ(berlin.rows[14], (DstRow{"31/03/2041", "27/10/2041"}));
        EXPECT_EQ(Made("America/New_York", 2027, rows).rows[0],
                  (DstRow{"14/03/2027", "07/11/2027"}));
    }
    // Past the years the database lists one by one, its rule for later years
    // gives the dates: the scan must not stop there.
    const ZoneRows late = Made("Europe/Berlin", 2030);
    EXPECT_EQ(late.rows[7], (DstRow{"29/03/2037", "25/10/2037"}));
    EXPECT_EQ(late.rows[8], (DstRow{"28/03/2038", "31/10/2038"}));
    EXPECT_EQ(Made("Europe/Berlin", 2085).rows[14], (DstRow{"29/03/2099", "25/10/2099"}));
}

TEST(ZoneTable, SouthernZoneRowsHoldOneCalendarYearOrOnePeriod) {
    // DST began on 4 October 2026, ended on 4 April 2027 and begins again on
    // 3 October 2027.
    const ZoneRows calendar = Made("Australia/Sydney", 2027);
    EXPECT_EQ(calendar.rows[0], (DstRow{"03/10/2027", "04/04/2027"}));
    const ZoneRows period = Made("Australia/Sydney", 2027, kPeriod);
    EXPECT_EQ(period.rows[0], (DstRow{"04/10/2026", "04/04/2027"}));
    for (int i = 0; i < 15; ++i) {
        const std::string year = std::to_string(2027 + i);
        EXPECT_EQ(calendar.rows[i].begin.substr(2), "/10/" + year) << "row " << i;
        EXPECT_EQ(calendar.rows[i].end.substr(2), "/04/" + year) << "row " << i;
        EXPECT_EQ(period.rows[i].begin.substr(2), "/10/" + std::to_string(2026 + i)) << i;
        EXPECT_EQ(period.rows[i].end, calendar.rows[i].end) << "row " << i;
    }
    // Santiago puts its clock forward from 00:00 to 01:00 on a Sunday of
    // September and back from 00:00 to Saturday 23:00 in April: the dates are
    // the ones the clock shows afterwards.
    EXPECT_EQ(Made("America/Santiago", 2027, kPeriod).rows[0],
              (DstRow{"06/09/2026", "03/04/2027"}));
    // Dublin's database calls its winter time the "daylight" one, with a
    // negative saving; the rising offset still begins the period in March.
    EXPECT_EQ(Made("Europe/Dublin", 2027).rows[0], (DstRow{"28/03/2027", "31/10/2027"}));
}

// A device that reads a calendar row as one year has DST from the begin date
// (inclusive) to the end date (exclusive), wrapping over the new year when the
// begin lies after the end. At noon of every day that must be the zone's own view.
TEST(ZoneTable, SydneyCalendarRowsMatchTheDatabaseDayForDay) {
    const QTimeZone sydney("Australia/Sydney");
    const ZoneRows made = Made("Australia/Sydney", 2027);
    for (const DstRow& row : made.rows) {
        const QDate begin = DateOf(row.begin);
        const QDate end = DateOf(row.end);
        ASSERT_EQ(begin.year(), end.year());
        for (QDate day(begin.year(), 1, 1); day.year() == begin.year(); day = day.addDays(1)) {
            const bool device =
                begin < end ? (day >= begin && day < end) : (day >= begin || day < end);
            const QDateTime noon(day, QTime(12, 0), sydney);
            ASSERT_EQ(device, sydney.isDaylightTime(noon)) << day.toString().toStdString();
        }
    }
}

TEST(ZoneTable, RefusesZonesWithoutDstBadNamesAndYearsOutOfRange) {
    for (const RowsConvention rows : {kCalendar, kPeriod}) {
        const ZoneRows tokyo = BuildZoneRows("Asia/Tokyo", 2027, rows);
        EXPECT_TRUE(tokyo.rows.empty());
        EXPECT_NE(tokyo.error.find("Asia/Tokyo has no daylight-saving period"), std::string::npos);
    }
    // Santiago kept its summer time through the winter of 2015: no period ends in 2015.
    for (const RowsConvention rows : {kCalendar, kPeriod})
        EXPECT_NE(BuildZoneRows("America/Santiago", 2010, rows).error.find("ending in 2015"),
                  std::string::npos);

    for (const std::string zone : {"Nope", "Nowhere/Atlantis"})
        EXPECT_EQ(BuildZoneRows(zone, 2027).error, "unknown time zone '" + zone + "'");
    EXPECT_EQ(ZoneProblem("../../etc/passwd"),
              "'../../etc/passwd' is not a time-zone name (such as Europe/Berlin)");
    EXPECT_NE(ZoneProblem("/etc/localtime").find("not a time-zone name"), std::string::npos);
    EXPECT_EQ(ZoneProblem("Europe/Berlin\n"), "a time-zone name holds no control characters");
    EXPECT_EQ(ZoneProblem(""), "no time-zone name given");

    EXPECT_EQ(BuildZoneRows("Europe/Berlin", 1999).error, "first year 1999 is outside 2000..2085");
    EXPECT_NE(BuildZoneRows("Europe/Berlin", 2086).error.find("2086"), std::string::npos);
    EXPECT_TRUE(BuildZoneRows("Europe/Berlin", 2000).error.empty());
}

TEST(ZoneTable, CheckFindsEachRowThatDiffersAndRowsItCannotJudge) {
    std::vector<DstRecord> records = Records(Made("Australia/Sydney", 2027).rows);
    TableCheck check = CheckTable(records, "Australia/Sydney", kCalendar);
    EXPECT_TRUE(check.error.empty());
    EXPECT_TRUE(check.consecutiveYears);
    ASSERT_EQ(check.rows.size(), 15u);
    for (const RowCheck& row : check.rows) EXPECT_TRUE(row.Matches()) << row.row;

    // The same file judged as periods: every begin date lies a year early.
    check = CheckTable(records, "Australia/Sydney", kPeriod);
    for (const RowCheck& row : check.rows) EXPECT_FALSE(row.Matches()) << row.row;
    EXPECT_EQ(check.rows[0].zone, (DstRecord{4, 10, 4, 4, 27}));

    records[3][0] += 1;   // a changed begin day in 2030
    records[5][4] = 99;   // 2099 after 2031: not consecutive
    records[6][4] = 200;  // no year the program makes
    check = CheckTable(records, "Australia/Sydney", kCalendar);
    EXPECT_FALSE(check.consecutiveYears);
    std::vector<int> differing;
    for (const RowCheck& row : check.rows)
        if (!row.Matches()) differing.push_back(row.row);
    EXPECT_EQ(differing, (std::vector<int>{3, 5, 6}));
    EXPECT_EQ(check.rows[3].year, 2030);
    EXPECT_EQ(check.rows[5].zone, RowToRecord({"04/10/2099", "05/04/2099"}, 0));
    EXPECT_FALSE(check.rows[6].zone);
    EXPECT_EQ(check.rows[6].problem, "the year byte 200 is no year 2000..2099");

    check = CheckTable(Records(Made("Europe/Berlin", 2027).rows), "Asia/Tokyo", kCalendar);
    EXPECT_NE(check.rows[0].problem.find("no daylight-saving period ending in 2027"),
              std::string::npos);
    EXPECT_NE(CheckTable(records, "../x", kCalendar).error.find("not a time-zone name"),
              std::string::npos);
}
