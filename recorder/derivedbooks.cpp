#include "derivedbooks.h"

#include <QVariant>

namespace {

using Outcome = BooksDatabase::Outcome;
using Kind = StationEvent::Kind;

const char kSessionStarted[] =
    "INSERT INTO sessions (station, session, started_at, game_id, bought) VALUES (?, ?, ?, ?, ?) ON CONFLICT "
    "(station, session) DO UPDATE SET started_at = excluded.started_at, game_id = excluded.game_id, bought = bought + "
    "excluded.bought";
const char kSessionExtended[] =
    "INSERT INTO sessions (station, session, bought) VALUES (?, ?, ?) ON CONFLICT (station, "
    "session) DO UPDATE SET bought = bought + excluded.bought";
const char kSessionEnded[] =
    "INSERT INTO sessions (station, session, ended_at, end_reason, end_seconds, played) VALUES (?, ?, ?, ?, ?, ?) ON "
    "CONFLICT (station, session) DO UPDATE SET ended_at = excluded.ended_at, end_reason = excluded.end_reason, "
    "end_seconds = excluded.end_seconds, played = excluded.played";
// What ends a game that starts at (at, seq): the station's first boundary after it.
const char kNextBoundary[] = "SELECT at, seq FROM events WHERE type IN ('game-ended', 'game-started', 'offline') AND "
                             "station = ? AND at >= ? AND (at > ? OR seq > ?) ORDER BY at, seq LIMIT 1";
const char kPlay[] =
    "INSERT INTO plays (station, seq, started_at, game_id, ended_at, ended_seq) VALUES (?, ?, ?, ?, ?, ?)";
// The game a boundary at (at, seq) ends: the station's last one started before it, unless a
// boundary before this one ended it already.
const char kEndPlay[] =
    "UPDATE plays SET ended_at = ?, ended_seq = ? WHERE (started_at, station, seq) = (SELECT started_at, station, seq "
    "FROM plays WHERE station = ? AND (started_at < ? OR (started_at = ? AND seq < ?)) ORDER BY started_at DESC, seq "
    "DESC LIMIT 1) AND (ended_at IS NULL OR ended_at > ? OR (ended_at = ? AND ended_seq > ?))";

} // namespace

DerivedBooks::DerivedBooks(BooksDatabase& db)
    : m_db(db)
    , m_sessionStarted(db.db())
    , m_sessionExtended(db.db())
    , m_sessionEnded(db.db())
    , m_nextBoundary(db.db())
    , m_play(db.db())
    , m_endPlay(db.db())
{
    const std::pair<QSqlQuery*, const char*> statements[] = {{&m_sessionStarted, kSessionStarted},
                                                             {&m_sessionExtended, kSessionExtended},
                                                             {&m_sessionEnded, kSessionEnded},
                                                             {&m_nextBoundary, kNextBoundary},
                                                             {&m_play, kPlay},
                                                             {&m_endPlay, kEndPlay}};
    for (const auto& [query, sql] : statements) {
        if (m_problem.ok() && !query->prepare(QString::fromLatin1(sql)))
            m_problem = m_db.failure(*query, "preparing the sessions and games played");
    }
}

Outcome DerivedBooks::run(QSqlQuery& query, const QVariantList& values, const char* what)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        return m_db.failure(query, what);
    return {};
}

Outcome DerivedBooks::add(const StationEvent& event)
{
    if (!m_problem.ok())
        return m_problem;
    switch (event.kind) {
    case Kind::SessionStarted:
    case Kind::SessionExtended:
    case Kind::SessionEnded:
        return session(event);
    case Kind::GameStarted: {
        const Outcome ended = endsAGame(event);
        return ended.ok() ? gameStarted(event) : ended;
    }
    case Kind::GameEnded:
    case Kind::Offline:
        return endsAGame(event);
    default:
        return {};
    }
}

Outcome DerivedBooks::session(const StationEvent& event)
{
    if (event.kind == Kind::SessionStarted)
        return run(m_sessionStarted,
                   {event.station, event.session, event.at, BooksDatabase::textOrNull(event.gameId), event.seconds},
                   "writing a session");
    if (event.kind == Kind::SessionExtended)
        return run(m_sessionExtended, {event.station, event.session, event.seconds}, "writing a session");
    return run(m_sessionEnded,
               {event.station, event.session, event.at, event.reason, event.seconds, event.playedSeconds},
               "writing a session");
}

Outcome DerivedBooks::gameStarted(const StationEvent& event)
{
    Outcome outcome = run(m_nextBoundary, {event.station, event.at, event.at, event.seq}, "finding a game's end");
    if (!outcome.ok())
        return outcome;
    QVariant endedAt;
    QVariant endedSeq;
    if (m_nextBoundary.next()) {
        endedAt = m_nextBoundary.value(0);
        endedSeq = m_nextBoundary.value(1);
    }
    m_nextBoundary.finish();
    return run(m_play, {event.station, event.seq, event.at, BooksDatabase::textOrNull(event.gameId), endedAt, endedSeq},
               "writing a game played");
}

Outcome DerivedBooks::endsAGame(const StationEvent& event)
{
    const QVariant at = event.at;
    const QVariant seq = event.seq;
    return run(m_endPlay, {at, seq, event.station, at, at, seq, at, at, seq}, "ending a game played");
}
