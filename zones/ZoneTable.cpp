#include "ZoneTable.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <filesystem>
#include <optional>

namespace velmora {
namespace {

constexpr qint64 kSecondsPerDay = qint64{24} * 60 * 60;

// A change of the zone's UTC offset at the second `at` (seconds since the epoch).
struct OffsetChange {
    qint64 at;
    int before;
    int after;
};

struct Period {
    QDate begin;
    QDate end;
};

class OffsetScanner {
  public:
    explicit OffsetScanner(const QTimeZone& zone) : m_zone(zone) {}

    int OffsetAt(qint64 seconds) const {
        return m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
    }

    // Every change between `from` and `to`. The zone is sampled once a day and
    // each change is narrowed down to its second. Sampling asks the zone only
    // for offsets; its list of transitions is not used, because it stops where
    // the database's explicit entries end and its rule for later years begins.
    std::vector<OffsetChange> ChangesBetween(qint64 from, qint64 to) const {
        std::vector<OffsetChange> changes;
        int offset = OffsetAt(from);
        for (qint64 day = from; day < to; day += kSecondsPerDay) {
            const int next = OffsetAt(day + kSecondsPerDay);
            if (next == offset) continue;
            qint64 low = day;  // still the old offset
            qint64 high = day + kSecondsPerDay;
            while (high - low > 1) {
                const qint64 middle = low + (high - low) / 2;
                (OffsetAt(middle) == offset ? low : high) = middle;
            }
            changes.push_back({high, offset, OffsetAt(high)});
            offset = next;
        }
        return changes;
    }

  private:
    const QTimeZone& m_zone;
};

// The wall clock's date just after the change: a clock put back at midnight
// shows 23:00 of the day before, and that day is the one taken.
QDate LocalDateAfter(const OffsetChange& change) {
    return QDateTime::fromSecsSinceEpoch(change.at + change.after, Qt::UTC).date();
}

// A period begins where the offset rises and ends at the next change, where it
// falls. The offset decides, not the zone's daylight flag: some zones call their
// winter time "daylight" and give it a negative saving.
std::vector<Period> Periods(const std::vector<OffsetChange>& changes) {
    std::vector<Period> periods;
    for (std::size_t i = 1; i < changes.size(); ++i) {
        const OffsetChange& rise = changes[i - 1];
        const OffsetChange& fall = changes[i];
        if (rise.after > rise.before && fall.after < fall.before)
            periods.push_back({LocalDateAfter(rise), LocalDateAfter(fall)});
    }
    return periods;
}

qint64 StartOfYearUtc(int year) {
    return QDateTime(QDate(year, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

// The periods that end in one of the years first..last or begin in one of
// them. A period lasts less than a year, and a local date lies within fourteen
// hours of the same date in UTC.
std::vector<Period> PeriodsOfYears(const QTimeZone& zone, int first, int last) {
    return Periods(OffsetScanner(zone).ChangesBetween(StartOfYearUtc(first - 1) - kSecondsPerDay,
                                                      StartOfYearUtc(last + 2) + kSecondsPerDay));
}

bool IsZoneNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '+' || c == '/';
}

// The tz backend takes a name it cannot find for a rule text ("Nope" becomes
// UTC), so a zone counts as known only when the database has a file for it.
bool HasZoneFile(const std::string& zoneId) {
    // Qt's copy of the variable, read under the lock that its writers take.
    const std::string tzdir = qgetenv("TZDIR").toStdString();
    const std::filesystem::path database = tzdir.empty() ? "/usr/share/zoneinfo" : tzdir;
    std::error_code error;
    return std::filesystem::is_regular_file(database / zoneId, error);
}

std::string DayFirstText(const QDate& date) {
    return ComposeDateText(date.day(), date.month(), date.year(), 0);
}

// The one period of `periods` whose begin (or end) lies in `year`, or why there is none.
const Period* OnlyPeriod(const std::vector<Period>& periods, int year, bool byEnd,
                         std::string& problem) {
    std::vector<const Period*> found;
    for (const Period& period : periods)
        if ((byEnd ? period.end : period.begin).year() == year) found.push_back(&period);
    if (found.size() == 1) return found.front();
    problem = (found.empty()
                   ? std::string("no daylight-saving period")
                   : std::to_string(found.size()) + " daylight-saving periods (a row holds one)") +
              (byEnd ? " ending in " : " beginning in ") + std::to_string(year);
    return nullptr;
}

// The row of `year`, or why the zone has none; `problem` then says so.
std::optional<DstRow> RowOfYear(const std::vector<Period>& periods, int year,
                                RowsConvention convention, std::string& problem) {
    const Period* ending = OnlyPeriod(periods, year, true, problem);
    if (ending == nullptr) return std::nullopt;
    if (convention == RowsConvention::Period)
        return DstRow{DayFirstText(ending->begin), DayFirstText(ending->end)};
    const Period* beginning = OnlyPeriod(periods, year, false, problem);
    if (beginning == nullptr) return std::nullopt;
    return DstRow{DayFirstText(beginning->begin), DayFirstText(ending->end)};
}

}  // namespace

std::string ZoneProblem(const std::string& zoneId) {
    if (zoneId.empty()) return "no time-zone name given";
    if (std::any_of(zoneId.begin(), zoneId.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }))
        return "a time-zone name holds no control characters";
    // Names such as Europe/Berlin or Etc/GMT+5: never a path out of the database.
    const bool plainName = std::all_of(zoneId.begin(), zoneId.end(), IsZoneNameCharacter) &&
                           zoneId.front() != '/' && zoneId.back() != '/' &&
                           zoneId.find("//") == std::string::npos;
    if (!plainName) return "'" + zoneId + "' is not a time-zone name (such as Europe/Berlin)";
    const QTimeZone zone(QByteArray::fromStdString(zoneId));
    if (!zone.isValid() || !HasZoneFile(zoneId)) return "unknown time zone '" + zoneId + "'";
    return {};
}

ZoneRows BuildZoneRows(const std::string& zoneId, int firstYear, RowsConvention convention) {
    if (firstYear < kMinFirstYear || firstYear > kMaxFirstYear)
        return {{},
                "first year " + std::to_string(firstYear) + " is outside " +
                    std::to_string(kMinFirstYear) + ".." + std::to_string(kMaxFirstYear)};
    if (std::string problem = ZoneProblem(zoneId); !problem.empty()) return {{}, problem};

    const int lastYear = firstYear + kMaxRows - 1;
    const std::vector<Period> periods =
        PeriodsOfYears(QTimeZone(QByteArray::fromStdString(zoneId)), firstYear, lastYear);
    ZoneRows result;
    for (int year = firstYear; year <= lastYear; ++year) {
        std::string problem;
        std::optional<DstRow> row = RowOfYear(periods, year, convention, problem);
        // The message is built once, as the loop is left.
        // NOLINTNEXTLINE(performance-inefficient-string-concatenation)
        if (!row) return {{}, "time zone " + zoneId + " has " + problem};
        result.rows.push_back(std::move(*row));
    }
    return result;
}

TableCheck CheckTable(const std::vector<DstRecord>& records, const std::string& zoneId,
                      RowsConvention convention) {
    TableCheck check;
    check.error = ZoneProblem(zoneId);
    if (!check.error.empty()) return check;

    // Only a year of the tables the program makes can be judged.
    constexpr int kLastYear = kMaxFirstYear + kMaxRows - 1;
    int first = kLastYear;
    int last = kMinFirstYear;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int year = 2000 + records[i][4];
        check.rows.push_back({static_cast<int>(i), year, records[i], std::nullopt, {}});
        if (i > 0 && year != 2000 + records[i - 1][4] + 1) check.consecutiveYears = false;
        if (year <= kLastYear) {
            first = std::min(first, year);
            last = std::max(last, year);
        }
    }
    const std::vector<Period> periods =
        first <= last ? PeriodsOfYears(QTimeZone(QByteArray::fromStdString(zoneId)), first, last)
                      : std::vector<Period>{};
    for (RowCheck& row : check.rows) {
        if (row.year > kLastYear) {
            row.problem = "the year byte " + std::to_string(row.file[4]) + " is no year " +
                          std::to_string(kMinFirstYear) + ".." + std::to_string(kLastYear);
            continue;
        }
        std::string problem;
        if (const std::optional<DstRow> zoneRow = RowOfYear(periods, row.year, convention, problem))
            row.zone = RowToRecord(*zoneRow, 0);
        else
            row.problem = "the zone has " + problem;
    }
    return check;
}

std::vector<std::string> DatabaseZoneIds() {
    std::vector<std::string> ids;
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
        std::string name = id.toStdString();
        if (ZoneProblem(name).empty()) ids.push_back(std::move(name));
    }
    // The list comes from the database's table of regions, which leaves out
    // names such as Etc/UTC that a system may be set to.
    if (std::string system = SystemZoneId(); !system.empty()) ids.push_back(std::move(system));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

std::string SystemZoneId() {
    std::string id = QTimeZone::systemTimeZoneId().toStdString();
    return ZoneProblem(id).empty() ? id : std::string();
}

}  // namespace velmora
