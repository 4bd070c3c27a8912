#pragma once

#include "eventstation.h"
#include "venueprotocol.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class VenueBroker;

// What the recorder's end-to-end tests share: stations played by the test, and a look into the
// books from outside the recorder (a connection of the test's own, read-only).
using Stations = std::vector<std::unique_ptr<EventStation>>;

// Adds the stations to the broker, starts them, and waits (10 s at most) until all are connected.
Stations makeStations(VenueBroker& broker, const QStringList& ids);
// Until every station's last event is acknowledged.
bool allAcknowledged(Stations& stations, int msecs = 20000);
// Every event in the books: per station, seq and payload, in the station's order.
QMap<QString, QList<QPair<qint64, QByteArray>>> booksOf(const QString& path);
// The first column of the first row of `sql` on the books; -1 when it cannot be read.
qint64 scalar(const QString& path, const QString& sql);
// A station's status as its agent sends it (since 0: the broker's last will, since null), with the
// interfaces to wake it by.
QByteArray statusPayload(const QString& station, bool online, qint64 since, const QVector<NetworkAddress>& network);
