#include "venueplatform.h"

#include <QFileInfo>

QString VenuePlatform::ownerName(const QString&, QString*)
{
    return QString(); // mosquitto on Windows runs as whoever starts it
}

QStringList VenuePlatform::unreadableFor(const QString&, const QStringList&, const QStringList&)
{
    return {}; // the broker reads its files as whoever starts it
}

VenuePlatform::Reload VenuePlatform::reloadBroker(const QString& pidFile, QString* detail)
{
    if (!QFileInfo::exists(pidFile))
        return Reload::NotRunning;
    *detail = "a broker on Windows reads its password and ACL files again only when it is restarted";
    return Reload::Failed;
}
