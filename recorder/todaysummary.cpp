#include "todaysummary.h"

#include "books.h"
#include "venuejson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>

#include <utility>

namespace {

using VenueJson::textOrNull;
using VenueJson::timeOrNull;

QJsonValue secondsOrNull(qint64 ms)
{
    return ms < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(ms / 1000.0);
}

double minutes(qint64 seconds)
{
    return qRound(seconds / 6.0) / 10.0;
}

QJsonObject figures(const Books::Figures& f)
{
    return {{"sessions", f.sessions},
            {"minutesSold", minutes(f.soldSeconds)},
            {"minutesInSession", minutes(f.inSessionSeconds)},
            {"launches", f.launches},
            {"minutesPlayed", minutes(f.playedMs / 1000)},
            {"helpCalls", f.helpCalls},
            {"helpAnswered", f.helpWaitsMs.size()},
            {"helpMedianWaitSeconds", secondsOrNull(f.helpMedianMs())},
            {"helpLongestWaitSeconds", secondsOrNull(f.helpLongestMs())},
            {"failedStarts", f.failedStarts}};
}

bool overlaps(qint64 from, qint64 to, const Books& books)
{
    return (to == 0 || to > books.from()) && from < books.to();
}

// The station's day: what overlaps it, open ends (still running) as null.
QJsonObject timeline(const Books& books, const QString& station, qint64 openFrom, qint64 openTo, qint64 now)
{
    QJsonArray sessions;
    for (const BookRecords::Session& s : books.records().sessions) {
        if (s.station == station && overlaps(s.startedAt, s.endedAt, books))
            sessions.append(QJsonObject{{"from", double(s.startedAt)},
                                        {"to", timeOrNull(s.endedAt)},
                                        {"session", s.id},
                                        {"gameId", textOrNull(s.gameId)},
                                        {"endReason", textOrNull(s.endReason)},
                                        {"minutesSold", minutes(s.boughtSeconds)}});
    }
    QJsonArray games;
    for (const BookRecords::Game& g : books.records().games) {
        if (g.station == station && overlaps(g.startedAt, g.endedAt, books))
            games.append(
                QJsonObject{{"from", double(g.startedAt)}, {"to", timeOrNull(g.endedAt)}, {"gameId", g.gameId}});
    }
    QJsonArray offline;
    if (openTo > openFrom) {
        for (const Spans::Span& gap : books.activeSpans(station).gaps(openFrom, openTo))
            offline.append(QJsonObject{{"from", double(gap.from)}, {"to", timeOrNull(gap.to >= now ? 0 : gap.to)}});
    }
    QJsonArray help;
    for (const BookRecords::Help& h : books.records().help) {
        if (h.station == station && h.calledAt >= books.from() && h.calledAt < books.to())
            help.append(QJsonObject{{"at", double(h.calledAt)}, {"answeredAt", timeOrNull(h.answeredAt)}});
    }
    return {{"sessions", sessions}, {"games", games}, {"offline", offline}, {"help", help}};
}

} // namespace

namespace TodaySummary {

QByteArray toJson(const Books& books, qint64 now)
{
    qint64 openFrom = 0;
    qint64 openTo = 0;
    const bool open = books.openHours(books.from(), &openFrom, &openTo);
    QJsonArray games;
    for (const Books::Row& row : books.rows(Books::By::Game))
        games.append(QJsonObject{{"gameId", row.key},
                                 {"launches", row.figures.launches},
                                 {"minutesPlayed", minutes(row.figures.playedMs / 1000)},
                                 {"failedStarts", row.figures.failedStarts}});
    QJsonArray stations;
    const QVector<Books::Row> stationRows = books.rows(Books::By::Station);
    for (const Books::Row& row : stationRows) {
        QJsonObject station = figures(row.figures);
        station.insert("station", row.key);
        station.insert("offlineMinutes", minutes(row.figures.offlineMs / 1000));
        const double whole = double(row.figures.openMs);
        station.insert("share", whole > 0 ? QJsonValue(QJsonObject{{"session", row.figures.sessionMs / whole},
                                                                   {"idle", row.figures.idleMs / whole},
                                                                   {"offline", row.figures.offlineMs / whole}})
                                          : QJsonValue(QJsonValue::Null));
        station.insert("timeline", timeline(books, row.key, openFrom, openTo, now));
        stations.append(station);
    }
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(now);
    const QJsonObject summary{{"date", QDateTime::fromMSecsSinceEpoch(books.from()).date().toString(Qt::ISODate)},
                              {"timeZone", QString::fromUtf8(QTimeZone::systemTimeZoneId())},
                              {"utcOffsetSeconds", at.offsetFromUtc()},
                              {"at", double(now)},
                              {"from", double(books.from())},
                              {"to", double(books.to())},
                              {"open", open ? QJsonValue(QJsonObject{{"from", double(openFrom)},
                                                                     {"to", timeOrNull(openTo >= now ? 0 : openTo)}})
                                            : QJsonValue(QJsonValue::Null)},
                              {"figures", figures(books.total(stationRows))},
                              {"games", games},
                              {"stations", stations}};
    return VenueJson::compact(summary);
}

QByteArray read(const QString& path, qint64 now, QString* error)
{
    const QDate today = QDateTime::fromMSecsSinceEpoch(now).date();
    const qint64 from = today.startOfDay().toMSecsSinceEpoch();
    const qint64 to = today.addDays(1).startOfDay().toMSecsSinceEpoch();
    BooksDatabase db(path, BooksDatabase::Mode::ReadOnly);
    BookRecords records;
    BooksDatabase::Outcome outcome = db.open();
    if (outcome.ok())
        outcome = BookRecords::read(db, from, to, &records);
    if (!outcome.ok()) {
        *error = outcome.message;
        return {};
    }
    return toJson(Books(std::move(records), from, to, now), now);
}

} // namespace TodaySummary
