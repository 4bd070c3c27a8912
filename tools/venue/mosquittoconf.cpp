#include "mosquittoconf.h"

#include "venuefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

QByteArray MosquittoConf::text() const
{
    const QString at = dir + '/';
    const QString bind = bindAddress.isEmpty() ? QString() : ' ' + bindAddress;
    QStringList lines{
        "# The venue's broker, written by nerq-venue init. Running init again rewrites this file and keeps",
        "# the credentials. Start the broker with: mosquitto -c " + at + VenueFolder::kConfig,
        "per_listener_settings false",
        "allow_anonymous false",
        "password_file " + at + VenueFolder::kPasswords,
        "acl_file " + at + VenueFolder::kAcl,
        "persistence true",
        "persistence_location " + at + VenueFolder::kPersistence,
        // A broker that dies loses at most a minute of retained state.
        "autosave_interval 60",
        "pid_file " + at + VenueFolder::kPidFile,
        "log_dest stderr",
        // A command and its result are small packets: sent at once, not held back for more.
        "set_tcp_nodelay true",
        // A busy day's events wait here for a recorder that is away, rather than being dropped at
        // the default 1000 (the stations would send them again, but later).
        "max_queued_messages 100000",
    };
    if (!user.isEmpty())
        lines << "user " + user;
    lines << ""
          << "# The stations, and nerq-venue on the desk." << QString("listener %1%2").arg(port).arg(bind);
    if (tls)
        lines << "cafile " + at + VenueFolder::kCaCert << "certfile " + at + VenueFolder::kBrokerCert
              << "keyfile " + at + VenueFolder::kBrokerKey;
    lines << "";
    if (tls)
        lines << "# The desk's page, and MQTT over websockets for it, on loopback: stunnel puts TLS in front"
              << QString("# (page-tls.conf), on port %1.").arg(wsPort)
              << QString("listener %1 127.0.0.1").arg(wsLocalPort);
    else
        lines << "# The desk's page, and MQTT over websockets for it."
              << QString("listener %1%2").arg(wsPort).arg(bind);
    lines << "protocol websockets";
    if (!httpDir.isEmpty())
        lines << "http_dir " + httpDir;
    return (lines.join('\n') + '\n').toUtf8();
}

QStringList MosquittoConf::brokerReads() const
{
    const QString at = dir + '/';
    QStringList paths{dir, at + VenueFolder::kPasswords, at + VenueFolder::kAcl};
    if (tls)
        paths << at + VenueFolder::kCaCert << at + VenueFolder::kBrokerCert << at + VenueFolder::kBrokerKey;
    return paths << persistence();
}

QString MosquittoConf::persistence() const
{
    return dir + '/' + VenueFolder::kPersistence;
}

QStringList MosquittoConf::pageReads() const
{
    if (httpDir.isEmpty())
        return {};
    QStringList paths{httpDir};
    for (const QFileInfo& file : QDir(httpDir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        paths << file.filePath();
    return paths;
}

QString MosquittoConf::unfitPath(const QString& path)
{
    // The characters mosquitto's own UTF-8 check refuses in a configuration line.
    for (const uint c : path.toUcs4()) {
        if (c <= 0x1f || (c >= 0x7f && c <= 0x9f))
            return "holds a control character (a tab or a line break), which mosquitto's configuration cannot take";
        if ((c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe)
            return "holds a Unicode non-character, which mosquitto's configuration cannot take";
    }
    if (QFile::encodeName(path) != path.toUtf8())
        return "is not written in UTF-8, in which mosquitto reads its configuration";
    return QString();
}
