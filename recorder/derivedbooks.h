#pragma once

#include "booksdatabase.h"
#include "stationevent.h"

#include <QSqlQuery>
#include <QVariantList>

// The rows the reports read instead of every event: one a session (what was bought, how it
// ended) and one a game played (until the station's next game-ended, game-started or clean stop),
// brought up to date with each new event inside the recorder's transaction. Events may come in
// any order: a resent one fills a gap long after those around it.
class DerivedBooks
{
public:
    explicit DerivedBooks(BooksDatabase& db);
    // Takes account of an event just written (never one written before).
    BooksDatabase::Outcome add(const StationEvent& event);

private:
    BooksDatabase::Outcome run(QSqlQuery& query, const QVariantList& values, const char* what);
    BooksDatabase::Outcome session(const StationEvent& event);
    BooksDatabase::Outcome gameStarted(const StationEvent& event);
    BooksDatabase::Outcome endsAGame(const StationEvent& event);

    BooksDatabase& m_db;
    BooksDatabase::Outcome m_problem; // a statement that could not be prepared
    QSqlQuery m_sessionStarted;
    QSqlQuery m_sessionExtended;
    QSqlQuery m_sessionEnded;
    QSqlQuery m_nextBoundary;
    QSqlQuery m_play;
    QSqlQuery m_endPlay;
};
