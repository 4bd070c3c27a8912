#pragma once

#include <QDate>
#include <QHash>

#include <vector>

// The desk's local time for many moments of a stretch: its zone's changes of offset read once for
// the stretch (asking the system for each moment costs a look at /etc/localtime every time), the
// rest worked out in UTC. Outside the stretch, or with a zone it cannot read, it asks each time.
class LocalClock
{
public:
    LocalClock(qint64 from, qint64 to);

    int offsetSeconds(qint64 at) const;
    QDate date(qint64 at) const;
    // The start of the local hour that holds `at`, whatever the offset (half hours included).
    qint64 hourStart(qint64 at) const;
    qint64 dayStart(const QDate& date);

private:
    struct Change {
        qint64 at;
        int offset; // from `at` on
    };
    qint64 m_from;
    qint64 m_to;
    std::vector<Change> m_changes; // the first at m_from; empty: ask each time
    QHash<QDate, qint64> m_dayStarts;
};
