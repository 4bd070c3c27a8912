#include "acktracker.h"

void AckTracker::restore(const QString& station, qint64 upTo)
{
    m_stations[station].upTo = upTo;
}

bool AckTracker::add(const QString& station, qint64 seq, qint64 droppedFrom, qint64 droppedTo)
{
    Station& state = m_stations[station];
    const qint64 before = state.upTo;
    if (seq > state.upTo)
        state.ahead.insert(seq);
    if (droppedFrom > 0 && droppedTo >= droppedFrom && droppedTo > state.upTo) {
        qint64& to = state.dropped[droppedFrom];
        to = qMax(to, droppedTo);
    }
    advance(state);
    return state.upTo != before;
}

void AckTracker::advance(Station& station)
{
    for (;;) {
        const qint64 next = station.upTo + 1;
        if (!station.ahead.empty() && *station.ahead.begin() == next) {
            station.upTo = next;
            station.ahead.erase(station.ahead.begin());
            continue;
        }
        // The farthest reach of the dropped ranges that start at or before `next`.
        qint64 reach = 0;
        for (auto it = station.dropped.begin(); it != station.dropped.upper_bound(next); ++it)
            reach = qMax(reach, it->second);
        if (reach < next)
            break;
        station.upTo = reach;
        station.ahead.erase(station.ahead.begin(), station.ahead.upper_bound(station.upTo));
    }
    // Ranges wholly behind the acknowledgement tell nothing more.
    for (auto it = station.dropped.begin(); it != station.dropped.end();)
        it = it->second <= station.upTo ? station.dropped.erase(it) : std::next(it);
}

qint64 AckTracker::upTo(const QString& station) const
{
    const auto it = m_stations.find(station);
    return it == m_stations.end() ? 0 : it->second.upTo;
}

QMap<QString, qint64> AckTracker::all() const
{
    QMap<QString, qint64> result;
    for (const auto& [station, state] : m_stations)
        result.insert(station, state.upTo);
    return result;
}

int AckTracker::waiting() const
{
    std::size_t count = 0;
    for (const auto& entry : m_stations)
        count += entry.second.ahead.size();
    return static_cast<int>(count);
}
