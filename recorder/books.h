#pragma once

#include "bookrecords.h"
#include "localclock.h"
#include "spans.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QVector>

#include <map>

// The figures of the books for a stretch of days [from, to), in the desk's local time zone.
//
// Each session counts where it started: sessions, the time bought (its start and every extension,
// however it ended) and the time it ran (the station's own count, or until now while it runs); each
// game counts where it started, for as long as it ran; a help call where it was made, its wait
// until answered; a failed start (launch or session-start) where it failed.
//
// A day's open hours run from the first moment a station was online (or in a session) that day to
// the last; within them each station was in a session, offline, or else idle. A station is online
// from its own "online" event or the broker seeing it back, until its "offline" event or its last
// will; a station in a session counts as in a session whatever its connection did.
class Books
{
public:
    enum class By { Day, Hour, Station, Game };

    struct Figures {
        int sessions = 0;
        qint64 soldSeconds = 0;
        qint64 inSessionSeconds = 0;
        int launches = 0;
        qint64 playedMs = 0;
        int helpCalls = 0;
        QVector<qint64> helpWaitsMs; // of the calls answered
        int failedStarts = 0;
        // Within the open hours: by day and in the total the venue's, by station the station's.
        qint64 openMs = 0;
        qint64 sessionMs = 0;
        qint64 offlineMs = 0;
        qint64 idleMs = 0;

        // -1 when no call was answered.
        qint64 helpMedianMs() const;
        qint64 helpLongestMs() const;
    };
    struct Row {
        QString key;      // "2026-03-29", "2026-03-29 14:00", a station or a game
        qint64 start = 0; // day and hour: when it starts
        int utcOffsetSeconds = 0;
        Figures figures;
    };

    Books(BookRecords records, qint64 from, qint64 to, qint64 now);

    QVector<Row> rows(By by) const;
    Figures total() const;
    // The same from the rows by station, where the caller has them already.
    Figures total(const QVector<Row>& stationRows) const;
    qint64 from() const { return m_from; }
    qint64 to() const { return m_to; }
    const BookRecords& records() const { return m_records; }
    // When the station was in a session and when online (or in a session), up to now.
    const Spans& sessionSpans(const QString& station) const;
    const Spans& activeSpans(const QString& station) const;
    // The venue's open hours on the day that starts at `dayStart`; false when no station was on.
    bool openHours(qint64 dayStart, qint64* first, qint64* last) const;

private:
    struct Day {
        qint64 start = 0;
        qint64 end = 0;
        qint64 openFrom = 0;
        qint64 openTo = 0;
        QHash<QString, Figures> stations; // the shares only
    };
    using Key = std::pair<qint64, QString>;

    void buildSpans();
    void buildDays();
    Key key(By by, qint64 at, const QString& station, const QString& gameId, int* offset) const;
    QString label(By by, const Key& key) const;
    void count(By by, std::map<Key, Row>& rows) const;
    void share(By by, std::map<Key, Row>& rows) const;
    bool inRange(qint64 at) const { return at >= m_from && at < m_to; }

    BookRecords m_records;
    qint64 m_from;
    qint64 m_to;
    qint64 m_now;
    QHash<QString, Spans> m_sessions;
    QHash<QString, Spans> m_active;
    QVector<Day> m_days;
    mutable LocalClock m_clock;
};
