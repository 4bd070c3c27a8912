#include "brokerconfig.h"

#include "conffile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

bool isStationId(const QString& id)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-]{1,64}")));
    return pattern.match(id).hasMatch();
}

bool BrokerConfig::load(const QString& path, BrokerConfig* config, QString* error)
{
    ConfFile file;
    if (!ConfFile::read(path, &file, error))
        return false;
    const QFileInfo info(path);

    BrokerConfig result;
    bool sawPort = false;
    bool sawUser = false;
    const QList<ConfFile::Entry> entries = file.section("broker");
    for (const ConfFile::Entry& entry : entries) {
        const QString where = file.where(entry);
        const QString& key = entry.key;
        const QString& value = entry.value;
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
