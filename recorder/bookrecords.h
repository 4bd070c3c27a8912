#pragma once

#include "booksdatabase.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// What the books say of a stretch of time, as the reports need it: each session with what was
// bought and played, each game played, help call, failed start, and each time a station came or
// went. Times are the stations' own (`at`), except what the broker said, which is the recorder's.
struct BookRecords {
    struct Session {
        QString station;
        QString id;
        QString gameId;
        QString endReason; // empty while it runs
        qint64 startedAt = 0;
        qint64 endedAt = 0; // 0: still running
        qint64 boughtSeconds = 0;
        qint64 playedSeconds = 0;
    };
    struct Game {
        QString station;
        QString gameId;
        qint64 startedAt = 0;
        qint64 endedAt = 0; // 0: still running
    };
    struct Help {
        QString station;
        qint64 calledAt = 0;
        qint64 answeredAt = 0; // 0: not answered
    };
    struct Failure {
        QString station;
        QString command;
        QString gameId;
        QString error;
        qint64 at = 0;
    };
    struct Mark {
        QString station;
        qint64 at = 0;
        bool online = false;
        bool byBroker = false; // the broker's word, at the recorder's time
    };

    QStringList stations; // every station the books know
    QVector<Session> sessions;
    QVector<Game> games;
    QVector<Help> help;
    QVector<Failure> failures;
    QVector<Mark> marks; // sorted by time

    // Everything that touches [from, to): what started in it and what was still running then.
    static BooksDatabase::Outcome read(BooksDatabase& db, qint64 from, qint64 to, BookRecords* records);
};

// The network addresses each station last reported (the "network" array of its status, as JSON),
// which the recorder keeps for waking the stations.
BooksDatabase::Outcome readStationNetworks(const BooksDatabase& db, QMap<QString, QByteArray>* networks);
