#pragma once

#include <QMap>
#include <QString>

#include <map>
#include <set>

// Per station, the sequence number up to which every event is in the database with no gap: what
// the recorder acknowledges. Events beyond a gap wait here until the gap fills; a station's
// events-dropped event fills its range as if those events had come.
class AckTracker
{
public:
    // Where a station stands after a restart: its acknowledged seq.
    void restore(const QString& station, qint64 upTo);
    // An event now in the database. `droppedFrom`..`droppedTo` (both 0 when not an events-dropped
    // event) is the range it stands for. Returns whether the station's acknowledgement moved.
    bool add(const QString& station, qint64 seq, qint64 droppedFrom = 0, qint64 droppedTo = 0);

    qint64 upTo(const QString& station) const;
    QMap<QString, qint64> all() const;
    // Events held beyond a gap, all stations together.
    int waiting() const;

private:
    struct Station {
        qint64 upTo = 0;
        std::set<qint64> ahead;
        std::map<qint64, qint64> dropped; // from -> to
    };
    static void advance(Station& station);

    std::map<QString, Station> m_stations;
};
