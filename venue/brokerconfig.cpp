#include "brokerconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

// A configuration file is a few lines; anything larger is not one.
constexpr qint64 kMaxBytes = 64 * 1024;

} // namespace

bool isStationId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(id).hasMatch();
}

bool BrokerConfig::load(const QString& path, BrokerConfig* config, QString* error)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = path + ": no such file";
        return false;
    }
    if (!info.isFile() || info.size() > kMaxBytes) {
        *error = path + ": not a configuration file (a folder, a device or too large)";
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + ": " + file.errorString();
        return false;
    }
    const QStringList lines = QString::fromUtf8(file.read(kMaxBytes)).split('\n');

    BrokerConfig result;
    QString section;
    bool sawPort = false;
    bool sawUser = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QString where = QString("%1:%2: ").arg(path).arg(i + 1);
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const int equals = line.indexOf('=');
        if (equals < 1) {
            *error = where + "expected key=value, not \"" + line + "\"";
            return false;
        }
        if (section != QLatin1String("broker"))
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("host")) {
            result.host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            result.port = value.toInt(&ok);
            if (!ok || result.port < 1 || result.port > 65535) {
                *error = where + "port must be a number from 1 to 65535, not \"" + value + "\"";
                return false;
            }
            sawPort = true;
        } else if (key == QLatin1String("station") || key == QLatin1String("user")) {
            if (sawUser) {
                *error = where + "a file names either station or user, once";
                return false;
            }
            sawUser = true;
            result.user = value;
            result.station = key == QLatin1String("station");
        } else if (key == QLatin1String("password")) {
            result.password = value;
        } else if (key == QLatin1String("cafile")) {
            result.caFile = value.isEmpty() ? QString() : QDir::cleanPath(info.absoluteDir().absoluteFilePath(value));
        }
    }

    QStringList missing;
    if (result.host.isEmpty())
        missing << "host";
    if (!sawPort)
        missing << "port";
    if (result.user.isEmpty())
        missing << "station (or user)";
    if (result.password.isEmpty())
        missing << "password";
    if (!missing.isEmpty()) {
        *error = path + ": the [broker] section lacks " + missing.join(", ");
        return false;
    }
    if (result.station && !isStationId(result.user)) {
        *error = path + ": \"" + result.user + "\" is no station id (1 to 64 letters, digits, - or _)";
        return false;
    }
    *config = result;
    return true;
}

QByteArray BrokerConfig::text() const
{
    QString out = QStringLiteral("[broker]\n");
    out += "host=" + host + "\n";
    out += "port=" + QString::number(port) + "\n";
    out += (station ? "station=" : "user=") + user + "\n";
    out += "password=" + password + "\n";
    if (!caFile.isEmpty())
        out += "cafile=" + caFile + "\n";
    return out.toUtf8();
}
