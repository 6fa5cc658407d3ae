// Building the fifteen rows of a table from the system's time-zone database.
#pragma once

#include <string>
#include <vector>

#include "DateTable.h"

namespace velmora::cli {

// The record keeps the end year as two digits, and the last row ends in
// firstYear + 14.
constexpr int kMinFirstYear = 2001;
constexpr int kMaxFirstYear = 2085;

struct ZoneRows {
    std::vector<DstRow> rows;  // fifteen day-first rows when error is empty
    std::string error;         // one line naming the zone or the year
};

// Row i holds the period that ends in firstYear + i. A period begins at a
// transition that raises the zone's UTC offset and ends at the next one, which
// lowers it; each date is the zone's local date just after its transition.
ZoneRows BuildZoneRows(const std::string& zoneId, int firstYear);

}  // namespace velmora::cli
