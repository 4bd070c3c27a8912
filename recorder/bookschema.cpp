#include "booksdatabase.h"

#include <QStringList>

namespace {

// Events by type and time, the reports' way in; every other table the recorder keeps in step.
const char* const kFirst[] = {
    // Every event once, by its id; per station the seq acknowledged.
    "CREATE TABLE events (id TEXT PRIMARY KEY, station TEXT NOT NULL, seq INTEGER NOT NULL, type TEXT NOT NULL, "
    "at INTEGER NOT NULL, received INTEGER NOT NULL, game_id TEXT, session TEXT, reason TEXT, by TEXT, command TEXT, "
    "command_id TEXT, error TEXT, seconds INTEGER, played_seconds INTEGER, called_at INTEGER, range_from INTEGER, "
    "range_to INTEGER, payload TEXT NOT NULL)",
    "CREATE UNIQUE INDEX events_station_seq ON events (station, seq)",
    "CREATE TABLE stations (station TEXT PRIMARY KEY, up_to INTEGER NOT NULL DEFAULT 0)",
};

const char* const kSecond[] = {
    // What the broker says of a station (its last will, its return), and the network addresses a
    // station last reported.
    "CREATE TABLE presence (station TEXT NOT NULL, at INTEGER NOT NULL, online INTEGER NOT NULL, source TEXT NOT "
    "NULL)",
    "CREATE INDEX presence_station_at ON presence (station, at)",
    "ALTER TABLE stations ADD COLUMN network TEXT",
    "ALTER TABLE stations ADD COLUMN network_at INTEGER",
    "CREATE INDEX events_type_at ON events (type, at)",
    // What ends a game: the station's next boundary after it, found as each game comes.
    "CREATE INDEX events_station_type_at ON events (station, type, at)",
    // One row a session and one a game played, kept in step with the events as they come (in any
    // order), so that a year's report reads these and not every event. A session counts when it
    // started, or, with its start not there, when its end says it did.
    "CREATE TABLE sessions (station TEXT NOT NULL, session TEXT NOT NULL, started_at INTEGER, game_id TEXT, "
    "bought INTEGER NOT NULL DEFAULT 0, ended_at INTEGER, end_reason TEXT, end_seconds INTEGER, played INTEGER, "
    "counted_at INTEGER GENERATED ALWAYS AS (COALESCE(started_at, ended_at - played * 1000)) VIRTUAL, "
    "PRIMARY KEY (station, session))",
    // Covering: a report reads its sessions from the index alone.
    "CREATE INDEX sessions_counted_at ON sessions (counted_at, station, session, game_id, end_reason, ended_at, "
    "started_at, bought, end_seconds, played)",
    "INSERT INTO sessions (station, session, started_at, game_id, bought, ended_at, end_reason, end_seconds, played) "
    "SELECT station, session, MIN(CASE WHEN type = 'session-started' THEN at END), MAX(CASE WHEN type = "
    "'session-started' THEN game_id END), SUM(CASE WHEN type <> 'session-ended' THEN seconds ELSE 0 END), "
    "MAX(CASE WHEN type = 'session-ended' THEN at END), MAX(CASE WHEN type = 'session-ended' THEN reason END), "
    "MAX(CASE WHEN type = 'session-ended' THEN seconds END), MAX(CASE WHEN type = 'session-ended' THEN "
    "played_seconds END) FROM events WHERE type IN ('session-started', 'session-extended', 'session-ended') "
    "GROUP BY station, session",
    // A game runs until its station's next game-ended, game-started or clean stop.
    // In the order of time, which reports read it in.
    "CREATE TABLE plays (started_at INTEGER NOT NULL, station TEXT NOT NULL, seq INTEGER NOT NULL, game_id TEXT, "
    "ended_at INTEGER, ended_seq INTEGER, PRIMARY KEY (started_at, station, seq)) WITHOUT ROWID",
    "CREATE INDEX plays_station_started_at ON plays (station, started_at, seq)",
    "INSERT INTO plays (station, seq, started_at, game_id, ended_at, ended_seq) SELECT station, seq, at, game_id, "
    "next_at, next_seq FROM (SELECT station, seq, type, at, game_id, LEAD(at) OVER w AS next_at, LEAD(seq) OVER w "
    "AS next_seq FROM events WHERE type IN ('game-started', 'game-ended', 'offline') WINDOW w AS (PARTITION BY "
    "station ORDER BY at, seq)) WHERE type = 'game-started'",
};

template <std::size_t N>
QStringList list(const char* const (&statements)[N])
{
    QStringList result;
    for (const char* statement : statements)
        result << QString::fromLatin1(statement);
    return result;
}

} // namespace

QStringList BooksDatabase::schemaStep(int version)
{
    switch (version) {
    case 1:
        return list(kFirst);
    case 2:
        return list(kSecond);
    default:
        return {};
    }
}
