#include "venuefolder.h"

#include "brokerconfig.h"
#include "safefile.h"
#include "venueplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTextStream>

#include <utility>

namespace {

// A venue's files are a few lines each; anything larger is not one of them.
constexpr qint64 kMaxFile = 1024 * 1024;
const char kLockName[] = ".nerq-venue.lock";
constexpr int kLockWaitSeconds = 10;

} // namespace

VenueFolder::VenueFolder(const QString& dir)
    : m_dir(QDir::cleanPath(QFileInfo(dir).absoluteFilePath()))
{}

VenueFolder::~VenueFolder() = default;

bool VenueFolder::lock(QString* error)
{
    m_lock = takeLock(path(kLockName), kLockWaitSeconds, error);
    if (!m_lock)
        return false;
    StagedFile::removeLeftovers(m_dir);
    StagedFile::removeLeftovers(path(kStations));
    return true;
}

bool VenueFolder::read(const QString& name, QByteArray* data, bool* exists, QString* error) const
{
    const QFileInfo info(path(name));
    *exists = info.exists();
    data->clear();
    if (!*exists)
        return true;
    QFile file(info.filePath());
    if (!info.isFile() || info.size() > kMaxFile) {
        *error = file.fileName() + ": not a file of the venue (a folder, a device or too large)";
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.fileName() + ": " + file.errorString();
        return false;
    }
    *data = file.read(kMaxFile);
    return true;
}

bool VenueFolder::write(const QString& name, const QByteArray& data, int newMode, QString* error) const
{
    StagedFile file(path(name));
    file.setNewFileMode(newMode);
    return file.write(data, error) && file.commit(error);
}

bool VenueFolder::loadDesk(BrokerConfig* desk, QString* error) const
{
    if (!QFileInfo::exists(path(kConsole))) {
        *error = QString("%1 has no %2: run 'nerq-venue init %1' first").arg(m_dir, kConsole);
        return false;
    }
    return BrokerConfig::load(path(kConsole), desk, error);
}

bool VenueFolder::loadAccess(QString* error)
{
    bool exists = false;
    if (!read(kPasswords, &m_savedPasswords, &exists, error) || !read(kAcl, &m_savedAcl, &exists, error))
        return false;
    m_passwords = PasswordFile(m_savedPasswords);
    m_acl = AclFile(m_savedAcl);
    return true;
}

bool VenueFolder::saveAccess(QStringList* written, QString* error)
{
    written->clear();
    const std::pair<const char*, QByteArray> files[] = {{kPasswords, m_passwords.text()}, {kAcl, m_acl.text()}};
    QByteArray* saved[] = {&m_savedPasswords, &m_savedAcl};
    for (int i = 0; i < 2; ++i) {
        if (files[i].second == *saved[i])
            continue;
        if (!write(files[i].first, files[i].second, kSecret, error))
            return false;
        *saved[i] = files[i].second;
        *written << files[i].first;
    }
    return true;
}

bool VenueFolder::copyCa(QString* error) const
{
    QByteArray ca;
    QByteArray copy;
    bool exists = false;
    if (!read(kCaCert, &ca, &exists, error))
        return false;
    if (!exists) {
        *error = QString("%1 has no %2 for the stations: run 'nerq-venue init %1 --tls' again").arg(m_dir, kCaCert);
        return false;
    }
    const QString name = QString("%1/%2").arg(kStations, kCaCert);
    return read(name, &copy, &exists, error) && (copy == ca || write(name, ca, -1, error));
}

bool VenueFolder::ensureStation(const QString& id, const BrokerConfig& desk, Station* state, QString* error)
{
    const QString name = stationFile(id);
    const bool exists = QFileInfo::exists(path(name));
    BrokerConfig station;
    if (exists && !BrokerConfig::load(path(name), &station, error)) {
        *error += "; mend it, or remove it to give the station a new password";
        return false;
    }
    if (exists && (!station.station || station.user != id)) {
        *error = QString("%1 is not the file of station %2; mend it or remove it").arg(path(name), id);
        return false;
    }
    const bool tls = !desk.caFile.isEmpty();
    BrokerConfig wanted;
    wanted.host = desk.host;
    wanted.port = desk.port;
    wanted.user = id;
    wanted.station = true;
    wanted.password = exists ? station.password : PasswordFile::newPassword();
    wanted.caFile = tls ? kCaCert : "";
    const QString caCopy = tls ? path(QString("%1/%2").arg(kStations, kCaCert)) : QString();
    const bool same = exists && station.host == wanted.host && station.port == wanted.port && station.caFile == caCopy;

    if (wanted.password.isEmpty()) {
        *error = "the system gave no random bytes for a password";
        return false;
    }
    if (!makeOwnedFolder(path(kStations), error) || (tls && !copyCa(error))
        || (!same && !write(name, wanted.text(), kSecret, error)))
        return false;
    if (!m_passwords.matches(id, wanted.password) && !m_passwords.set(id, wanted.password)) {
        *error = "the system gave no random bytes for a password's salt";
        return false;
    }
    m_acl.set(id, AclFile::stationRules(id));
    *state = !exists ? Station::Made : same ? Station::Kept : Station::Rewritten;
    return true;
}

bool VenueFolder::reloadBroker(QTextStream& out, QString* error) const
{
    QString detail;
    switch (VenuePlatform::reloadBroker(path(kPidFile), &detail)) {
    case VenuePlatform::Reload::Done:
        out << "The running broker (" << detail << ") reads the password and ACL files again now.\n";
        return true;
    case VenuePlatform::Reload::NotRunning:
        out << "The broker is not running; it reads the password and ACL files when it starts.\n";
        return true;
    case VenuePlatform::Reload::Failed:
        break;
    }
    *error = detail + "; the files are written, and the broker reads them when told (SIGHUP) or restarted";
    return false;
}
