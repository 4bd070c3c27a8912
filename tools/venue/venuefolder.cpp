#include "venuefolder.h"

#include "brokerconfig.h"
#include "deskpage.h"
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

using Client = VenueFolder::Client;

// "the station", as in "to give the station a new password".
QString kindOf(Client client)
{
    switch (client) {
    case Client::Desk:
        return QStringLiteral("the desk");
    case Client::Station:
        return QStringLiteral("the station");
    case Client::Recorder:
        return QStringLiteral("the recorder");
    case Client::DeskDevice:
        break;
    }
    return QStringLiteral("the desk device");
}

// "station st01", as in "names st02, not station st01".
QString whoIs(Client client, const QString& name)
{
    switch (client) {
    case Client::Desk:
        return "the desk's user " + name;
    case Client::Station:
        return "station " + name;
    case Client::Recorder:
        return "the recorder's user " + name;
    case Client::DeskDevice:
        break;
    }
    return "desk device " + name;
}

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
    StagedFile::removeLeftovers(path(kDesks));
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

QString VenueFolder::clientFile(Client client, const QString& name)
{
    switch (client) {
    case Client::Desk:
        return kConsole;
    case Client::Recorder:
        return kRecorder;
    case Client::Station:
    case Client::DeskDevice:
        break;
    }
    return QString("%1/%2.conf").arg(clientFolder(client), name);
}

QString VenueFolder::clientFolder(Client client)
{
    switch (client) {
    case Client::Desk:
    case Client::Recorder:
        return {};
    case Client::Station:
        return kStations;
    case Client::DeskDevice:
        break;
    }
    return kDesks;
}

bool VenueFolder::copyCa(const QString& folder, QString* error) const
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
    const QString name = QString("%1/%2").arg(folder, kCaCert);
    return read(name, &copy, &exists, error) && (copy == ca || write(name, ca, -1, error));
}

bool VenueFolder::loadClient(Client client, const QString& name, BrokerConfig* old, bool* exists, QString* error) const
{
    const QString file = path(clientFile(client, name));
    *exists = QFileInfo::exists(file);
    // Stations and the desk's devices are users of one broker: a name is one or the other.
    const bool named = client == Client::Station || client == Client::DeskDevice;
    for (const Client other : {Client::Station, Client::DeskDevice}) {
        if (other != client && named && QFileInfo::exists(path(clientFile(other, name)))) {
            *error = QString("%1 is the name of %2 already; choose another").arg(name, whoIs(other, name));
            return false;
        }
    }
    if (*exists && !BrokerConfig::load(file, old, error)) {
        *error += "; mend it, or remove it to give " + kindOf(client) + " a new password";
        return false;
    }
    if (*exists && (old->station != (client == Client::Station) || old->user != name)) {
        *error = QString("%1 names %2, not %3; mend it or remove it").arg(file, old->user, whoIs(client, name));
        return false;
    }
    return true;
}

bool VenueFolder::ensureClient(Client client, const QString& name, const BrokerConfig& where, SignIn* state,
                               QString* error, BrokerConfig* written)
{
    BrokerConfig old;
    bool exists = false;
    if (!loadClient(client, name, &old, &exists, error))
        return false;
    const bool tls = !where.caFile.isEmpty();
    const QString folder = clientFolder(client);
    BrokerConfig wanted = where;
    wanted.user = name;
    wanted.station = client == Client::Station;
    wanted.password = exists ? old.password : PasswordFile::newPassword();
    // The desk's own file names the CA where it is, so that it still finds it when copied to the
    // desk's own folder; another client's file names the copy beside it, to be copied along.
    wanted.caFile = !tls ? QString() : folder.isEmpty() ? path(kCaCert) : QString(kCaCert);
    const QString caRead = !tls ? QString() : folder.isEmpty() ? wanted.caFile : path(folder + '/' + kCaCert);
    // The desk's files also name the folder the broker serves the page from, where catalogue
    // publish puts the pictures.
    const bool desks = client == Client::Desk || client == Client::DeskDevice;
    const QString page = DeskPage::in(m_dir);
    const QByteArray pageSection = desks ? DeskPage(page).consoleSection() : QByteArray();
    const bool same = exists && old.host == wanted.host && old.port == wanted.port && old.caFile == caRead
                      && (!desks || DeskPage::fromConsole(path(clientFile(client, name))) == page);
    if (wanted.password.isEmpty()) {
        *error = "the system gave no random bytes for a password";
        return false;
    }
    if ((!folder.isEmpty() && !makeOwnedFolder(path(folder), error))
        || (tls && !folder.isEmpty() && !copyCa(folder, error))
        || (!same && !write(clientFile(client, name), wanted.text() + pageSection, kSecret, error)))
        return false;
    if (!m_passwords.matches(name, wanted.password) && !m_passwords.set(name, wanted.password)) {
        *error = "the system gave no random bytes for a password's salt";
        return false;
    }
    m_acl.set(name, client == Client::Station    ? AclFile::stationRules(name)
                    : client == Client::Recorder ? AclFile::recorderRules()
                                                 : AclFile::deskRules());
    *state = !exists ? SignIn::Made : same ? SignIn::Kept : SignIn::Rewritten;
    if (written)
        *written = wanted;
    return true;
}

bool VenueFolder::reloadBroker(QTextStream& out, QString* error) const
{
    // A broker told to read files it cannot read drops every client; one started with them ends.
    QString detail;
    const QString owner = VenuePlatform::ownerName(m_dir, &detail);
    const QStringList unreadable = VenuePlatform::unreadableFor(owner, {path(kPasswords), path(kAcl)});
    if (!unreadable.isEmpty()) {
        *error = QString("the broker runs as %1, who cannot read %2 (a running broker was not told to read them "
                         "again). Give them to %1 (chown %1), then run this again")
                     .arg(owner, unreadable.join("; "));
        return false;
    }
    detail.clear();
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
