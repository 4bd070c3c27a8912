#include "networkaddresses.h"

#include <QNetworkInterface>

QVector<NetworkAddress> localNetworkAddresses()
{
    QVector<NetworkAddress> addresses;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        const QString mac = interface.hardwareAddress().toLower();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)
            || !(flags & QNetworkInterface::CanBroadcast) || mac.size() != 17 || mac == "00:00:00:00:00:00")
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull())
                addresses.append({mac, entry.broadcast().toString()});
        }
    }
    return addresses;
}
