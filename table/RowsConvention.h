// Which dates a row of a table made from a time zone holds.
#pragma once

#include <optional>
#include <string_view>

namespace velmora {

// - Calendar: row Y holds the end date in Y and the begin date in Y (in a
//   southern zone, the end of the period that began in Y-1 and the start of
//   the one that begins in Y). Right for every day of Y on a device that
//   reads a row as two dates of one calendar year.
// - Period: row Y holds the period that ends in Y (in a southern zone it
//   begins in Y-1).
// Where daylight-saving time begins and ends in one year, both give the same rows.
enum class RowsConvention { Calendar, Period };

inline std::optional<RowsConvention> ParseRowsConvention(std::string_view name) {
    if (name == "calendar") return RowsConvention::Calendar;
    if (name == "period") return RowsConvention::Period;
    return std::nullopt;
}

inline const char* RowsConventionName(RowsConvention convention) {
    return convention == RowsConvention::Calendar ? "calendar" : "period";
}

}  // namespace velmora
