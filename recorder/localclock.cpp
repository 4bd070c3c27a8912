#include "localclock.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace {

constexpr qint64 kHourMs = 60 * 60 * 1000;

qint64 floorDiv(qint64 value, qint64 by)
{
    return value / by - (value % by < 0 ? 1 : 0);
}

int systemOffset(qint64 at)
{
    return QDateTime::fromMSecsSinceEpoch(at).offsetFromUtc();
}

} // namespace

LocalClock::LocalClock(qint64 from, qint64 to)
    : m_from(from)
    , m_to(to)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(from, Qt::UTC);
    if (!zone.isValid() || zone.offsetFromUtc(start) != systemOffset(from))
        return;
    m_changes.push_back({from, zone.offsetFromUtc(start)});
    for (const QTimeZone::OffsetData& change : zone.transitions(start, QDateTime::fromMSecsSinceEpoch(to, Qt::UTC)))
        m_changes.push_back({change.atUtc.toMSecsSinceEpoch(), change.offsetFromUtc});
    // The zone's own reading and the system's must agree at the end too, or the system decides.
    if (m_changes.back().offset != systemOffset(to - 1))
        m_changes.clear();
}

int LocalClock::offsetSeconds(qint64 at) const
{
    if (m_changes.empty() || at < m_from || at >= m_to)
        return systemOffset(at);
    const auto next = std::upper_bound(m_changes.cbegin(), m_changes.cend(), at,
                                       [](qint64 time, const Change& change) { return time < change.at; });
    return std::prev(next)->offset;
}

QDate LocalClock::date(qint64 at) const
{
    return QDateTime::fromMSecsSinceEpoch(at + offsetSeconds(at) * 1000LL, Qt::UTC).date();
}

qint64 LocalClock::hourStart(qint64 at) const
{
    const qint64 local = at + offsetSeconds(at) * 1000LL;
    return at - (local - floorDiv(local, kHourMs) * kHourMs);
}

qint64 LocalClock::dayStart(const QDate& date)
{
    const auto found = m_dayStarts.constFind(date);
    if (found != m_dayStarts.cend())
        return *found;
    const qint64 start = date.startOfDay().toMSecsSinceEpoch();
    m_dayStarts.insert(date, start);
    return start;
}
