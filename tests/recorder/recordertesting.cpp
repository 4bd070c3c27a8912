#include "recordertesting.h"

#include "booksdatabase.h"
#include "eventloopwait.h"
#include "venuebroker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

Stations makeStations(VenueBroker& broker, const QStringList& ids)
{
    Stations stations;
    for (const QString& id : ids) {
        stations.push_back(std::make_unique<EventStation>(id, broker.addStation(id)));
        stations.back()->start();
    }
    waitUntil(
        [&] {
            for (auto& station : stations) {
                if (!station->mqtt().isConnected())
                    return false;
            }
            return true;
        },
        10000);
    return stations;
}

bool allAcknowledged(Stations& stations, int msecs)
{
    return waitUntil(
        [&] {
            for (const auto& station : stations) {
                if (station->acknowledged() < station->lastSeq())
                    return false;
            }
            return true;
        },
        msecs);
}

QMap<QString, QList<QPair<qint64, QByteArray>>> booksOf(const QString& path)
{
    QMap<QString, QList<QPair<qint64, QByteArray>>> books;
    BooksDatabase db(path, BooksDatabase::Mode::ReadOnly);
    if (!db.open().ok())
        return books;
    QSqlQuery query(db.db());
    if (!query.exec("SELECT station, seq, payload FROM events ORDER BY station, seq"))
        qWarning("the books cannot be read: %s", qPrintable(query.lastError().text()));
    while (query.next())
        books[query.value(0).toString()].append({query.value(1).toLongLong(), query.value(2).toByteArray()});
    return books;
}

qint64 scalar(const QString& path, const QString& sql)
{
    BooksDatabase db(path, BooksDatabase::Mode::ReadOnly);
    if (!db.open().ok())
        return -1;
    QSqlQuery query(db.db());
    return query.exec(sql) && query.next() ? query.value(0).toLongLong() : -1;
}

QByteArray statusPayload(const QString& station, bool online, qint64 since, const QVector<NetworkAddress>& network)
{
    QJsonObject status{{"station", station},
                       {"online", online},
                       {"since", since ? QJsonValue(double(since)) : QJsonValue(QJsonValue::Null)},
                       {"at", since ? QJsonValue(double(nowMs())) : QJsonValue(QJsonValue::Null)}};
    if (!network.isEmpty())
        status.insert("network", QJsonDocument::fromJson(networkToJson(network)).array());
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}
