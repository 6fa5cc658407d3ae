#include "ZoneTable.h"

#include <QDateTime>
#include <QTimeZone>

#include <filesystem>
#include <optional>

namespace velmora::cli {
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

// The tz backend takes a name it cannot find for a rule text ("Nope" becomes
// UTC), so a zone counts as known only when the database has a file for it.
bool IsKnownZone(const std::string& zoneId, const QTimeZone& zone) {
    if (!zone.isValid()) return false;
    // Qt's copy of the variable, read under the lock that its writers take.
    const std::string tzdir = qgetenv("TZDIR").toStdString();
    const std::filesystem::path database = tzdir.empty() ? "/usr/share/zoneinfo" : tzdir;
    std::error_code error;
    return std::filesystem::is_regular_file(database / zoneId, error);
}

std::string DayFirstText(const QDate& date) {
    return ComposeDateText(date.day(), date.month(), date.year(), 0);
}

}  // namespace

ZoneRows BuildZoneRows(const std::string& zoneId, int firstYear) {
    if (firstYear < kMinFirstYear || firstYear > kMaxFirstYear)
        return {{},
                "first year " + std::to_string(firstYear) + " is outside " +
                    std::to_string(kMinFirstYear) + ".." + std::to_string(kMaxFirstYear)};
    const QTimeZone zone(QByteArray::fromStdString(zoneId));
    if (!IsKnownZone(zoneId, zone)) return {{}, "unknown time zone '" + zoneId + "'"};

    // A period lasts less than a year, and a local date lies within fourteen
    // hours of the same date in UTC.
    const int lastYear = firstYear + kMaxRows - 1;
    const std::vector<Period> periods = Periods(OffsetScanner(zone).ChangesBetween(
        StartOfYearUtc(firstYear - 2), StartOfYearUtc(lastYear + 1) + kSecondsPerDay));

    ZoneRows result;
    for (int year = firstYear; year <= lastYear; ++year) {
        std::vector<const Period*> ending;
        for (const Period& period : periods)
            if (period.end.year() == year) ending.push_back(&period);
        if (ending.size() != 1) {
            const std::string what = ending.empty()
                                         ? "no daylight-saving period"
                                         : std::to_string(ending.size()) +
                                               " daylight-saving periods (a row holds one)";
            // The message is built once, as the loop is left.
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation)
            return {{}, "time zone " + zoneId + " has " + what + " ending in " +
                            std::to_string(year)};
        }
        result.rows.push_back({DayFirstText(ending[0]->begin), DayFirstText(ending[0]->end)});
    }
    return result;
}

}  // namespace velmora::cli
