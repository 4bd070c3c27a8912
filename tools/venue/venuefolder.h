#pragma once

#include "aclfile.h"
#include "passwordfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;
class QTextStream;
struct BrokerConfig;

// A venue's broker folder as nerq-venue init lays it out: the broker's configuration, password
// and ACL files, the desk's console.conf, the stations' files in stations/, the desk's tablets'
// and PCs' files in desks/, and with TLS the venue's CA and the broker's certificate. Names are relative to the folder; every change is
// made under the folder's lock and each file is replaced in one step.
class VenueFolder
{
public:
    static constexpr const char* kConfig = "mosquitto.conf";
    static constexpr const char* kPasswords = "passwords";
    static constexpr const char* kAcl = "acl";
    static constexpr const char* kConsole = "console.conf";
    static constexpr const char* kPidFile = "mosquitto.pid";
    static constexpr const char* kPersistence = "persistence";
    static constexpr const char* kStations = "stations";
    static constexpr const char* kDesks = "desks";
    static constexpr const char* kCaCert = "venue-ca.crt";
    static constexpr const char* kCaKey = "venue-ca.key";
    static constexpr const char* kBrokerCert = "broker.crt";
    static constexpr const char* kBrokerKey = "broker.key";
    static constexpr const char* kDeskUser = "desk";
    static constexpr const char* kRecorder = "recorder.conf";
    static constexpr const char* kRecorderUser = "recorder";
    static constexpr int kSecret = 0600;

    explicit VenueFolder(const QString& dir);
    ~VenueFolder();
    VenueFolder(const VenueFolder&) = delete;
    VenueFolder& operator=(const VenueFolder&) = delete;

    QString dir() const { return m_dir; }
    QString path(const QString& name) const { return m_dir + '/' + name; }

    // Who signs in with a file of the folder, each as a user of its own: the desk itself
    // (console.conf), a station (stations/ID.conf), a tablet or PC of the desk's, with the
    // desk's rights (desks/NAME.conf), or the recorder that keeps the books (recorder.conf).
    enum class Client { Desk, Station, DeskDevice, Recorder };
    // The client's file, relative to the folder.
    static QString clientFile(Client client, const QString& name);
    // Where the files of such clients lie, with a copy of the venue's CA beside them; empty for
    // the desk's own and the recorder's, which name the CA in the folder.
    static QString clientFolder(Client client);

    bool lock(QString* error);
    // A file of the folder; an absent one reads as empty with `exists` false.
    bool read(const QString& name, QByteArray* data, bool* exists, QString* error) const;
    // A new file gets `newMode` (< 0: the default one); a file replaced keeps its mode and owner.
    bool write(const QString& name, const QByteArray& data, int newMode, QString* error) const;

    // The desk's console.conf, which also says where the broker is and whether it speaks TLS.
    bool loadDesk(BrokerConfig* desk, QString* error) const;

    // The password and ACL files: loaded, changed through passwords() and acl(), then saved.
    bool loadAccess(QString* error);
    PasswordFile& passwords() { return m_passwords; }
    AclFile& acl() { return m_acl; }
    // Writes those of the two that changed, and names them in `written`.
    bool saveAccess(QStringList* written, QString* error);

    enum class SignIn { Made, Kept, Rewritten };
    // The client's file for the broker `where` names (host, port; TLS when it names a CA), its
    // password line and its ACL block; a client that has a file keeps its password. `written`,
    // when given, gets what the file says. Needs loadAccess() first.
    bool ensureClient(Client client, const QString& name, const BrokerConfig& where, SignIn* state, QString* error,
                      BrokerConfig* written = nullptr);

    // Tells the running broker to read the password and ACL files again, and says so; false when
    // one runs but could not be told.
    bool reloadBroker(QTextStream& out, QString* error) const;

private:
    bool copyCa(const QString& folder, QString* error) const;
    // The client's credentials as they stand in its file, if it has one; false when the file
    // cannot be used.
    bool loadClient(Client client, const QString& name, BrokerConfig* old, bool* exists, QString* error) const;

    QString m_dir;
    std::unique_ptr<QLockFile> m_lock;
    PasswordFile m_passwords;
    AclFile m_acl;
    QByteArray m_savedPasswords;
    QByteArray m_savedAcl;
};
