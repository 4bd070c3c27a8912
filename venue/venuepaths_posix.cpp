#include "venuepaths.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// As the XDG base directories have it: an unset, empty or relative value means the default.
QString xdgFolder(const char* variable, const char* fallback)
{
    const QString value = qEnvironmentVariable(variable);
    const QString base = QDir::isAbsolutePath(value) ? value : QDir::homePath() + '/' + fallback;
    return QDir::cleanPath(base + "/nerqvrplatform");
}

} // namespace

namespace VenuePaths {

QString configFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

QString dataFolder()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

QString stateFolder()
{
    return xdgFolder("XDG_STATE_HOME", ".local/state");
}

QString localServerName(const QString& base)
{
    // A full path: QLocalServer would otherwise put it in /tmp, where every user's name meets.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + '/' + base + ".sock";
}

} // namespace VenuePaths
