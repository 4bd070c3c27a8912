#pragma once

#include "eventstore.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>

// A busy venue's plan, the same every day, for the reports' test and the benchmarks: books whose
// figures can be worked out by hand. Local times, every day, for station k (st00, st01, ...):
//   - online at 10:00, offline (a clean stop) at 22:00;
//   - ten sessions, the j-th (j = 0..9) starting at 10:00 + 70 j + k minutes, each with a game
//     (orbit for j = 0, 3, 6, 9; skyline for 1, 4, 7; depths for 2, 5, 8) that runs as long as it:
//     30 minutes bought; odd j extended by 10; j = 9 ended by the desk after 20 minutes;
//   - k = 0, 5, ..., 25: a help call 5 minutes into session 4, answered after (k + 1) * 10 s;
//     k = 29: a help call in session 2 that nobody answers;
//   - k = 3: launching depths fails at 12:00; k = 7: a session-start with orbit fails at 13:00;
//     k = 5: launching skyline fails at 00:30, before the station's day (UTC: the evening before);
//   - k = 12: the broker says its connection died at 10:50, and it is back at 11:10.
//
// Each station's sequence numbers run on from day to day.
class VenuePlan
{
public:
    explicit VenuePlan(int station);
    // The station's events and what the broker said of it, that day, added to `batch`.
    void day(const QDate& date, BooksBatch* batch);
    const QString& station() const { return m_station; }

private:
    void add(const QDateTime& at, const QString& type, QJsonObject fields = {});
    void session(const QDate& day, int j);

    int m_k;
    QString m_station;
    qint64 m_seq = 0;
    BooksBatch* m_batch = nullptr;
};
