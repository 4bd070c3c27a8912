#include "clientcommands.h"

#include "brokerconfig.h"
#include "clientarguments.h"
#include "commandline.h"
#include "venuefolder.h"

#include <QFile>
#include <QFileInfo>

namespace {

using Client = VenueFolder::Client;

const char kAddStationDescription[] =
    "Lets the station ID sign in to the venue's broker set up in DIR: makes its password, adds it\n"
    "to the password and ACL files (the station may write its own status and results, and read its\n"
    "own commands and the venue's catalogue), makes a running broker read them again, and writes\n"
    "DIR/stations/ID.conf (mode 0600), the one file to copy to the station, with the venue's CA\n"
    "beside it when the broker speaks TLS. A station added before keeps its password.\n"
    "ID: 1 to 64 letters, digits, - or _; it is also the station's MQTT user name.";

const char kAddDeskDescription[] =
    "Gives a tablet or PC of the desk's a sign-in of its own, with the desk's rights: makes its\n"
    "password, adds it to the password and ACL files, makes a running broker read them again, and\n"
    "writes DIR/desks/NAME.conf (mode 0600), in console.conf's form. On the desk's page, sign in\n"
    "with NAME and that password and tick \"remember this device\"; a desk PC takes the file as its\n"
    "console.conf. 'nerq-venue remove-desk DIR NAME' shuts that device out again, and no other.\n"
    "A device added before keeps its password. NAME: 1 to 64 letters, digits, - or _, not desk.";

const char kRemoveStationDescription[] =
    "Takes the station ID's access to the venue's broker set up in DIR away: its password line, its\n"
    "ACL block and DIR/stations/ID.conf go, and a running broker reads the files again, which\n"
    "also ends the station's connection. Adding it again gives it a new password.";

const char kRemoveDeskDescription[] =
    "Takes the desk device NAME's access to the venue's broker set up in DIR away, as when a tablet\n"
    "is lost: its password line, its ACL block and DIR/desks/NAME.conf go, and a running broker\n"
    "reads the files again, which ends that device's connection at once; the desk and every other\n"
    "device stay signed in. Adding it again gives it a new password.";

struct Kind {
    Client client;
    const char* add;
    const char* remove;
    const char* addDescription;
    const char* removeDescription;
    const char* noun;  // "Station"
    const char* lower; // "station"
};

const Kind kStation{Client::Station,           "add-station", "remove-station", kAddStationDescription,
                    kRemoveStationDescription, "Station",     "station"};
const Kind kDesk{Client::DeskDevice,     "add-desk",    "remove-desk", kAddDeskDescription,
                 kRemoveDeskDescription, "Desk device", "desk device"};

// A running broker reads the changed files at once.
int reload(const VenueFolder& folder, const QStringList& written, CommandLine& cli)
{
    QString error;
    if (!written.isEmpty() && !folder.reloadBroker(cli.out(), &error))
        return cli.fail(error);
    return 0;
}

// Where the file goes, and the CA with it.
void sayWhereItGoes(const Kind& kind, const VenueFolder& folder, const QString& name, const BrokerConfig& desk,
                    CommandLine& cli)
{
    const QString file = folder.path(VenueFolder::clientFile(kind.client, name));
    if (kind.client == Client::Station)
        cli.out() << "Copy " << file << " to the station as ~/.config/nerqvrplatform/station.conf";
    else
        cli.out() << "Sign in on the desk's page as " << name << " with the password in " << file
                  << ", or copy it to a desk PC as ~/.config/nerqvrplatform/console.conf";
    if (!desk.caFile.isEmpty())
        cli.out() << ", with "
                  << folder.path(QString("%1/%2").arg(VenueFolder::clientFolder(kind.client), VenueFolder::kCaCert))
                  << " beside it";
    cli.out() << ".\n";
}

int add(const Kind& kind, const QStringList& arguments, CommandLine& cli)
{
    QString dir;
    QString name;
    int status = 0;
    if (!parseClientArguments(kind.client, kind.add, kind.addDescription, arguments, cli, &dir, &name, &status))
        return status;

    VenueFolder folder(dir);
    BrokerConfig desk;
    VenueFolder::SignIn state = VenueFolder::SignIn::Kept;
    QStringList written;
    QString error;
    if (!folder.lock(&error) || !folder.loadDesk(&desk, &error) || !folder.loadAccess(&error)
        || !folder.ensureClient(kind.client, name, desk, &state, &error) || !folder.saveAccess(&written, &error))
        return cli.fail(error);

    switch (state) {
    case VenueFolder::SignIn::Made:
        cli.out() << kind.noun << ' ' << name << " added.\n";
        break;
    case VenueFolder::SignIn::Kept:
        cli.out() << kind.noun << ' ' << name << " was added before; its password is kept.\n";
        break;
    case VenueFolder::SignIn::Rewritten:
        cli.out() << kind.noun << ' ' << name << " was added before; its file now names " << desk.host << ':'
                  << desk.port << ", its password kept.\n";
        break;
    }
    sayWhereItGoes(kind, folder, name, desk, cli);
    return reload(folder, written, cli);
}

int remove(const Kind& kind, const QStringList& arguments, CommandLine& cli)
{
    QString dir;
    QString name;
    int status = 0;
    if (!parseClientArguments(kind.client, kind.remove, kind.removeDescription, arguments, cli, &dir, &name, &status))
        return status;

    VenueFolder folder(dir);
    QString error;
    if (!folder.lock(&error) || !folder.loadAccess(&error))
        return cli.fail(error);
    QFile file(folder.path(VenueFolder::clientFile(kind.client, name)));
    const bool hadFile = file.exists();
    // A name that is the other kind's is not this command's to remove.
    if (!hadFile
        && QFileInfo::exists(folder.path(
            VenueFolder::clientFile(kind.client == Client::Station ? Client::DeskDevice : Client::Station, name))))
        return cli.fail(QString("%1 has no %2 %3").arg(folder.dir(), kind.lower, name));
    const bool hadPassword = folder.passwords().remove(name);
    const bool hadAcl = folder.acl().remove(name);
    if (!hadPassword && !hadAcl && !hadFile)
        return cli.fail(QString("%1 has no %2 %3").arg(folder.dir(), kind.lower, name));
    QStringList written;
    if (!folder.saveAccess(&written, &error))
        return cli.fail(error);
    if (hadFile && !file.remove())
        return cli.fail(QString("%1 %2 can no longer sign in, but %3 cannot be removed: %4")
                            .arg(kind.lower, name, file.fileName(), file.errorString()));
    cli.out() << kind.noun << ' ' << name << " removed: its password, its ACL block and its file.\n";
    return reload(folder, written, cli);
}

} // namespace

int runAddStationCommand(const QStringList& arguments, CommandLine& cli)
{
    return add(kStation, arguments, cli);
}

int runRemoveStationCommand(const QStringList& arguments, CommandLine& cli)
{
    return remove(kStation, arguments, cli);
}

int runAddDeskCommand(const QStringList& arguments, CommandLine& cli)
{
    return add(kDesk, arguments, cli);
}

int runRemoveDeskCommand(const QStringList& arguments, CommandLine& cli)
{
    return remove(kDesk, arguments, cli);
}
