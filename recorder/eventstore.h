#pragma once

#include "acktracker.h"
#include "booksdatabase.h"
#include "derivedbooks.h"
#include "stationevent.h"

#include <QHash>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// What the recorder commits in one transaction: station events (a resent one is kept once), what
// the broker said of stations, and the network addresses stations reported.
struct BooksBatch {
    struct Presence {
        QString station;
        qint64 at = 0; // the recorder's clock: the broker does not say when
        bool online = false;
    };
    struct Network {
        QString station;
        QByteArray addresses; // the status's "network" array, as JSON
        qint64 at = 0;
    };
    QVector<StationEvent> events;
    QVector<Presence> presence;
    QVector<Network> networks;

    bool isEmpty() const { return events.isEmpty() && presence.isEmpty() && networks.isEmpty(); }
    int size() const { return events.size() + presence.size() + networks.size(); }
};

// The recorder's side of the books: writes batches, and knows per station what is acknowledged,
// what the broker last said of it and its last network addresses. Nothing it reports as written
// is anything but committed.
class EventStore
{
public:
    explicit EventStore(const QString& path);
    ~EventStore();
    EventStore(const EventStore&) = delete;
    EventStore& operator=(const EventStore&) = delete;

    // Opens (or makes) the database and reads where every station stands.
    BooksDatabase::Outcome open();
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // The connection, for a test that needs to reach below the store (a size limit, say).
    QSqlDatabase database() const;

    // All of the batch or none of it. `moved`: the stations whose acknowledgement moved.
    BooksDatabase::Outcome write(const BooksBatch& batch, qint64 receivedAt, QStringList* moved);

    const AckTracker& acks() const { return m_acks; }
    // What the broker last said of the station, as recorded: online or offline; none when nothing.
    std::optional<bool> presence(const QString& station) const;
    QByteArray network(const QString& station) const { return m_networks.value(station); }
    qint64 eventsWritten() const { return m_written; }

private:
    BooksDatabase::Outcome load();
    BooksDatabase::Outcome insertEvents(const QVector<StationEvent>& events, qint64 receivedAt, AckTracker* next,
                                        QSet<QString>* touched);
    BooksDatabase::Outcome insertRest(const BooksBatch& batch);
    BooksDatabase::Outcome saveAcks(const AckTracker& next, const QSet<QString>& touched);

    QString m_path;
    std::unique_ptr<BooksDatabase> m_db;
    std::unique_ptr<DerivedBooks> m_derived;
    AckTracker m_acks;
    QHash<QString, bool> m_presence;
    QHash<QString, QByteArray> m_networks;
    qint64 m_written = 0;
};
