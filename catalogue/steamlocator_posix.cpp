#include "steamlocator.h"

#include <QDir>
#include <QStandardPaths>

QStringList SteamLocator::candidates()
{
    const QDir home = QDir::home();
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return {home.filePath(".steam/root"),
            home.filePath(".steam/steam"),
            home.filePath(".steam/debian-installation"),
            QDir(dataHome).filePath("Steam"),
            home.filePath(".var/app/com.valvesoftware.Steam/data/Steam"),
            home.filePath(".var/app/com.valvesoftware.Steam/.steam/steam")};
}
