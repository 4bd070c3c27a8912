#include "steamlocator.h"

#include <QDir>
#include <QSettings>

namespace {

QString registryValue(const QString& key, const QString& name)
{
    return QSettings(key, QSettings::NativeFormat).value(name).toString();
}

} // namespace

QStringList SteamLocator::candidates()
{
    // Steam writes SteamPath in lower case with forward slashes; InstallPath is the installer's.
    QStringList paths;
    for (const QString& path : {registryValue("HKEY_CURRENT_USER\\Software\\Valve\\Steam", "SteamPath"),
                                registryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Valve\\Steam", "InstallPath"),
                                registryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Valve\\Steam", "InstallPath")}) {
        if (!path.isEmpty())
            paths << QDir::fromNativeSeparators(path);
    }
    return paths;
}
