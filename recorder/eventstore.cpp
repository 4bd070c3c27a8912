#include "eventstore.h"

#include <QSet>
#include <QSqlQuery>
#include <QVariant>

namespace {

using Outcome = BooksDatabase::Outcome;

} // namespace

EventStore::EventStore(const QString& path)
    : m_path(path)
{}

EventStore::~EventStore() = default;

QSqlDatabase EventStore::database() const
{
    return m_db ? m_db->db() : QSqlDatabase();
}

Outcome EventStore::open()
{
    close();
    auto db = std::make_unique<BooksDatabase>(m_path, BooksDatabase::Mode::ReadWrite);
    Outcome outcome = db->open();
    if (!outcome.ok())
        return outcome;
    m_db = std::move(db);
    m_derived = std::make_unique<DerivedBooks>(*m_db);
    outcome = load();
    if (!outcome.ok())
        close();
    return outcome;
}

void EventStore::close()
{
    m_derived.reset();
    m_db.reset();
    m_acks = AckTracker();
    m_presence.clear();
    m_networks.clear();
}

Outcome EventStore::load()
{
    QSqlQuery stations(m_db->db());
    if (!stations.exec("SELECT station, up_to, network FROM stations"))
        return m_db->failure(stations, "reading the stations");
    QStringList names;
    while (stations.next()) {
        names << stations.value(0).toString();
        m_acks.restore(names.last(), stations.value(1).toLongLong());
        if (!stations.value(2).isNull())
            m_networks.insert(names.last(), stations.value(2).toByteArray());
    }
    // Events beyond a gap wait for it to fill, after a restart as before.
    QSqlQuery ahead(m_db->db());
    if (!ahead.prepare("SELECT seq, range_from, range_to FROM events WHERE station = ? AND seq > ?"))
        return m_db->failure(ahead, "reading the events beyond a gap");
    for (const QString& station : qAsConst(names)) {
        ahead.addBindValue(station);
        ahead.addBindValue(m_acks.upTo(station));
        if (!ahead.exec())
            return m_db->failure(ahead, "reading the events beyond a gap");
        while (ahead.next())
            m_acks.add(station, ahead.value(0).toLongLong(), ahead.value(1).toLongLong(), ahead.value(2).toLongLong());
    }
    QSqlQuery said(m_db->db());
    if (!said.exec("SELECT p.station, p.online FROM presence p JOIN (SELECT station, MAX(rowid) AS last FROM presence "
                   "GROUP BY station) l ON p.rowid = l.last"))
        return m_db->failure(said, "reading what the broker said");
    while (said.next())
        m_presence.insert(said.value(0).toString(), said.value(1).toBool());
    return {};
}

std::optional<bool> EventStore::presence(const QString& station) const
{
    const auto it = m_presence.constFind(station);
    return it == m_presence.cend() ? std::nullopt : std::optional<bool>(*it);
}

Outcome EventStore::write(const BooksBatch& batch, qint64 receivedAt, QStringList* moved)
{
    moved->clear();
    if (!m_db)
        return {BooksDatabase::Problem::Unusable, m_path + " is not open"};
    Outcome outcome = m_db->run({"BEGIN IMMEDIATE"}, "writing");
    if (!outcome.ok())
        return outcome;
    AckTracker next = m_acks;
    QSet<QString> touched;
    const qint64 writtenBefore = m_written;
    outcome = insertEvents(batch.events, receivedAt, &next, &touched);
    if (outcome.ok())
        outcome = insertRest(batch);
    if (outcome.ok())
        outcome = saveAcks(next, touched);
    if (outcome.ok())
        outcome = m_db->run({"COMMIT"}, "committing");
    if (!outcome.ok()) {
        m_db->rollback();
        m_written = writtenBefore;
        return outcome;
    }
    // Only now, committed, does anything change here.
    for (const QString& station : qAsConst(touched)) {
        if (next.upTo(station) != m_acks.upTo(station))
            *moved << station;
    }
    moved->sort();
    m_acks = next;
    for (const BooksBatch::Presence& said : batch.presence)
        m_presence.insert(said.station, said.online);
    for (const BooksBatch::Network& reported : batch.networks)
        m_networks.insert(reported.station, reported.addresses);
    return {};
}

Outcome EventStore::insertEvents(const QVector<StationEvent>& events, qint64 receivedAt, AckTracker* next,
                                 QSet<QString>* touched)
{
    QSqlQuery insert(m_db->db());
    if (!insert.prepare("INSERT OR IGNORE INTO events (id, station, seq, type, at, received, game_id, session, reason, "
                        "by, command, command_id, error, seconds, played_seconds, called_at, range_from, range_to, "
                        "payload) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        return m_db->failure(insert, "writing events");
    for (const StationEvent& event : events) {
        const QVariantList values{event.id,
                                  event.station,
                                  event.seq,
                                  event.type,
                                  event.at,
                                  receivedAt,
                                  BooksDatabase::textOrNull(event.gameId),
                                  BooksDatabase::textOrNull(event.session),
                                  BooksDatabase::textOrNull(event.reason),
                                  BooksDatabase::textOrNull(event.by),
                                  BooksDatabase::textOrNull(event.command),
                                  BooksDatabase::textOrNull(event.commandId),
                                  BooksDatabase::textOrNull(event.error),
                                  event.seconds,
                                  event.playedSeconds,
                                  event.calledAt,
                                  event.from,
                                  event.to,
                                  QString::fromUtf8(event.payload)};
        for (int i = 0; i < values.size(); ++i)
            insert.bindValue(i, values[i]);
        if (!insert.exec())
            return m_db->failure(insert, "writing events");
        // A resent event is already there: nothing to count again.
        if (insert.numRowsAffected() != 1)
            continue;
        if (const Outcome derived = m_derived->add(event); !derived.ok())
            return derived;
        ++m_written;
        touched->insert(event.station);
        next->add(event.station, event.seq, event.from, event.to);
    }
    return {};
}

Outcome EventStore::insertRest(const BooksBatch& batch)
{
    QSqlQuery said(m_db->db());
    if (!said.prepare("INSERT INTO presence (station, at, online, source) VALUES (?, ?, ?, 'broker')"))
        return m_db->failure(said, "writing what the broker said");
    for (const BooksBatch::Presence& entry : batch.presence) {
        said.addBindValue(entry.station);
        said.addBindValue(entry.at);
        said.addBindValue(entry.online ? 1 : 0);
        if (!said.exec())
            return m_db->failure(said, "writing what the broker said");
    }
    QSqlQuery reported(m_db->db());
    if (!reported.prepare("INSERT INTO stations (station, network, network_at) VALUES (?, ?, ?) ON CONFLICT (station) "
                          "DO UPDATE SET network = excluded.network, network_at = excluded.network_at"))
        return m_db->failure(reported, "writing network addresses");
    for (const BooksBatch::Network& entry : batch.networks) {
        reported.addBindValue(entry.station);
        reported.addBindValue(QString::fromUtf8(entry.addresses));
        reported.addBindValue(entry.at);
        if (!reported.exec())
            return m_db->failure(reported, "writing network addresses");
    }
    return {};
}

Outcome EventStore::saveAcks(const AckTracker& next, const QSet<QString>& touched)
{
    QSqlQuery upsert(m_db->db());
    if (!upsert.prepare("INSERT INTO stations (station, up_to) VALUES (?, ?) ON CONFLICT (station) "
                        "DO UPDATE SET up_to = excluded.up_to"))
        return m_db->failure(upsert, "writing acknowledgements");
    for (const QString& station : touched) {
        upsert.addBindValue(station);
        upsert.addBindValue(next.upTo(station));
        if (!upsert.exec())
            return m_db->failure(upsert, "writing acknowledgements");
    }
    return {};
}
