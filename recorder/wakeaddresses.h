#pragma once

#include "venueprotocol.h"

#include <QMap>
#include <QString>
#include <QVector>

// The network addresses the books keep for waking the stations: the last ones each reported.
namespace WakeAddresses {

using Map = QMap<QString, QVector<NetworkAddress>>;

// From the books in `path`; books not made yet keep none. False, with the reason, when they
// cannot be read.
bool fromBooks(const QString& path, Map* addresses, QString* error);

} // namespace WakeAddresses
