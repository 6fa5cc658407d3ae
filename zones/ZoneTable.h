// Tables from the system's time-zone database, and checking a table against it.
// Qt Core only: the window and velmora-cli share it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DateTable.h"
#include "RowsConvention.h"

namespace velmora {

// The record keeps the end year as two digits, and the last row ends in
// firstYear + 14.
constexpr int kMinFirstYear = 2000;
constexpr int kMaxFirstYear = 2085;

struct ZoneRows {
    std::vector<DstRow> rows;  // fifteen day-first rows when error is empty
    std::string error;         // one line naming the zone or the year
};

// Empty when `zoneId` names a zone of the database; otherwise the reason, in
// words that never repeat a control character or a path of the name.
std::string ZoneProblem(const std::string& zoneId);

// The fifteen rows for the years firstYear to firstYear + 14. A period begins
// at a transition that raises the zone's UTC offset and ends at the next one,
// which lowers it; each date is the zone's local date just after its transition.
ZoneRows BuildZoneRows(const std::string& zoneId, int firstYear,
                       RowsConvention convention = RowsConvention::Calendar);

// One row of a table compared with the database.
struct RowCheck {
    int row = 0;   // 0..14
    int year = 0;  // from the row's year byte
    DstRecord file{};
    std::optional<DstRecord> zone;  // empty when the database cannot judge the row
    std::string problem;            // why it cannot, or empty
    bool Matches() const { return zone && *zone == file; }
};

struct TableCheck {
    std::string error;  // the zone cannot be used: nothing was compared
    bool consecutiveYears = true;
    std::vector<RowCheck> rows;  // every row, in order
};

// Compares every record with what the zone says for the year of its year byte.
TableCheck CheckTable(const std::vector<DstRecord>& records, const std::string& zoneId,
                      RowsConvention convention);

// Every zone of the database that BuildZoneRows accepts, sorted by name, and
// the system's own zone (empty when it is none of them).
std::vector<std::string> DatabaseZoneIds();
std::string SystemZoneId();

}  // namespace velmora
