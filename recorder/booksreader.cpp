#include "bookrecords.h"

#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

using Outcome = BooksDatabase::Outcome;

// A session or a game that started this long before the stretch may still run into it.
constexpr qint64 kLookBackMs = 2LL * 24 * 60 * 60 * 1000;

struct Reader {
    BooksDatabase& db;
    qint64 from;
    qint64 to;
    BookRecords& records;

    // What is read: the stretch, looked back for what still ran in it and ahead for how it ended.
    qint64 low() const { return from - kLookBackMs; }
    qint64 high() const { return to + kLookBackMs; }

    // Runs `sql` with `values` bound in order (by default low() and high() for every pair of "?"),
    // and calls `row` for each row.
    template <typename Row>
    Outcome select(const QString& sql, const QString& what, Row row, QVariantList values = {})
    {
        QSqlQuery query(db.db());
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            return db.failure(query, what);
        const int pairs = values.isEmpty() ? sql.count('?') / 2 : 0;
        for (int i = 0; i < pairs; ++i)
            values << low() << high();
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            return db.failure(query, what);
        while (query.next())
            row(query);
        return {};
    }

    Outcome stations();
    Outcome sessions();
    Outcome games();
    Outcome help();
    Outcome failures();
    Outcome marks();
};

Outcome Reader::stations()
{
    QSqlQuery query(db.db());
    if (!query.exec("SELECT station FROM stations UNION SELECT station FROM presence ORDER BY 1"))
        return db.failure(query, "reading the stations");
    while (query.next())
        records.stations << query.value(0).toString();
    return {};
}

Outcome Reader::sessions()
{
    return select("SELECT station, session, game_id, end_reason, counted_at, ended_at, CASE WHEN started_at IS NULL "
                  "THEN end_seconds ELSE bought END, played FROM sessions WHERE counted_at >= ? AND counted_at < ?",
                  "reading the sessions", [this](const QSqlQuery& q) {
                      BookRecords::Session session{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                                   q.value(3).toString()};
                      session.startedAt = q.value(4).toLongLong();
                      session.endedAt = q.value(5).toLongLong();
                      session.boughtSeconds = q.value(6).toLongLong();
                      session.playedSeconds = q.value(7).toLongLong();
                      records.sessions << session;
                  });
}

Outcome Reader::games()
{
    return select("SELECT station, game_id, started_at, ended_at FROM plays WHERE started_at >= ? AND started_at < ?",
                  "reading the games", [this](const QSqlQuery& q) {
                      records.games << BookRecords::Game{q.value(0).toString(), q.value(1).toString(),
                                                         q.value(2).toLongLong(), q.value(3).toLongLong()};
                  });
}

Outcome Reader::help()
{
    QHash<QPair<QString, qint64>, qint64> answers; // (station, the call's at) -> answered at
    const Outcome answered =
        select("SELECT station, called_at, at FROM events WHERE type = 'help-answered' AND at "
               ">= ? AND at < ?",
               "reading the help calls", [&answers](const QSqlQuery& q) {
                   answers.insert({q.value(0).toString(), q.value(1).toLongLong()}, q.value(2).toLongLong());
               });
    if (!answered.ok())
        return answered;
    return select("SELECT station, at FROM events WHERE type = 'help-called' AND at >= ? AND at < ?",
                  "reading the help calls", [&](const QSqlQuery& q) {
                      const QString station = q.value(0).toString();
                      const qint64 at = q.value(1).toLongLong();
                      records.help << BookRecords::Help{station, at, answers.value({station, at})};
                  });
}

Outcome Reader::failures()
{
    return select("SELECT station, command, game_id, error, at FROM events WHERE type = 'command-failed' AND at >= ? "
                  "AND at < ? AND command IN ('launch', 'session-start')",
                  "reading the failed starts", [this](const QSqlQuery& q) {
                      records.failures << BookRecords::Failure{q.value(0).toString(), q.value(1).toString(),
                                                               q.value(2).toString(), q.value(3).toString(),
                                                               q.value(4).toLongLong()};
                  });
}

Outcome Reader::marks()
{
    const auto mark = [this](const QSqlQuery& q) {
        records.marks << BookRecords::Mark{q.value(0).toString(), q.value(1).toLongLong(), q.value(2).toBool(),
                                           q.value(3).toBool()};
    };
    // Where each station stood when the stretch (looked back) began, then every change in it.
    Outcome outcome = select("SELECT station, MAX(at), type = 'online', 0 FROM events WHERE type IN ('online', "
                             "'offline') AND at < ? GROUP BY station UNION ALL SELECT station, MAX(at), online, 1 "
                             "FROM presence WHERE at < ? GROUP BY station",
                             "reading the stations' comings and goings", mark, {low(), low()});
    if (outcome.ok())
        outcome = select("SELECT station, at, type = 'online', 0 FROM events WHERE type IN ('online', 'offline') AND "
                         "at >= ? AND at < ? UNION ALL SELECT station, at, online, 1 FROM presence WHERE at >= ? AND "
                         "at < ?",
                         "reading the stations' comings and goings", mark);
    std::stable_sort(records.marks.begin(), records.marks.end(),
                     [](const BookRecords::Mark& a, const BookRecords::Mark& b) { return a.at < b.at; });
    return outcome;
}

} // namespace

BooksDatabase::Outcome readStationNetworks(const BooksDatabase& db, QMap<QString, QByteArray>* networks)
{
    QSqlQuery query(db.db());
    if (!query.exec("SELECT station, network FROM stations WHERE network IS NOT NULL"))
        return db.failure(query, "reading the stations' network addresses");
    while (query.next())
        networks->insert(query.value(0).toString(), query.value(1).toByteArray());
    return {};
}

BooksDatabase::Outcome BookRecords::read(BooksDatabase& db, qint64 from, qint64 to, BookRecords* records)
{
    *records = BookRecords();
    Reader reader{db, from, to, *records};
    for (Outcome (Reader::*part)() :
         {&Reader::stations, &Reader::sessions, &Reader::games, &Reader::help, &Reader::failures, &Reader::marks}) {
        const Outcome outcome = (reader.*part)();
        if (!outcome.ok())
            return outcome;
    }
    return {};
}
