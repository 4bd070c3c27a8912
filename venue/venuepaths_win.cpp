#include "venuepaths.h"

#include <QDir>

namespace {

// %LOCALAPPDATA%: this machine's, not roaming with the user to another station.
QString localFolder(const char* sub)
{
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty())
        base = QDir::homePath() + "/AppData/Local";
    return QDir::cleanPath(QDir::fromNativeSeparators(base) + "/nerqvrplatform" + sub);
}

} // namespace

namespace VenuePaths {

QString configFolder()
{
    return localFolder("");
}

QString dataFolder()
{
    return localFolder("");
}

QString stateFolder()
{
    return localFolder("/state");
}

QString localServerName(const QString& base)
{
    // Pipe names are machine-wide: the user's name keeps two users' stations apart.
    QString user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty())
        user = QStringLiteral("user");
    return base + '-' + user;
}

} // namespace VenuePaths
