#include "addstationcommand.h"

#include "brokerconfig.h"
#include "commandline.h"
#include "stationarguments.h"
#include "venuefolder.h"

namespace {

const char kDescription[] =
    "Lets the station ID sign in to the venue's broker set up in DIR: makes its password, adds it\n"
    "to the password and ACL files (the station may write its own status and results, and read its\n"
    "own commands and the venue's catalogue), makes a running broker read them again, and writes\n"
    "DIR/stations/ID.conf (mode 0600), the one file to copy to the station, with the venue's CA\n"
    "beside it when the broker speaks TLS. A station added before keeps its password.\n"
    "ID: 1 to 64 letters, digits, - or _; it is also the station's MQTT user name.";

} // namespace

int runAddStationCommand(const QStringList& arguments, CommandLine& cli)
{
    QString dir;
    QString id;
    int status = 0;
    if (!parseStationArguments("add-station", kDescription, arguments, cli, &dir, &id, &status))
        return status;

    VenueFolder folder(dir);
    BrokerConfig desk;
    VenueFolder::Station state = VenueFolder::Station::Kept;
    QStringList written;
    QString error;
    if (!folder.lock(&error) || !folder.loadDesk(&desk, &error) || !folder.loadAccess(&error)
        || !folder.ensureStation(id, desk, &state, &error) || !folder.saveAccess(&written, &error))
        return cli.fail(error);

    const QString file = folder.path(VenueFolder::stationFile(id));
    switch (state) {
    case VenueFolder::Station::Made:
        cli.out() << "Station " << id << " added.\n";
        break;
    case VenueFolder::Station::Kept:
        cli.out() << "Station " << id << " was added before; its password is kept.\n";
        break;
    case VenueFolder::Station::Rewritten:
        cli.out() << "Station " << id << " was added before; its file now names " << desk.host << ':' << desk.port
                  << ", its password kept.\n";
        break;
    }
    cli.out() << "Copy " << file << " to the station as ~/.config/nerqvrplatform/station.conf";
    if (!desk.caFile.isEmpty())
        cli.out() << ", with " << folder.path(QString("%1/%2").arg(VenueFolder::kStations, VenueFolder::kCaCert))
                  << " beside it";
    cli.out() << ".\n";
    if (!written.isEmpty() && !folder.reloadBroker(cli.out(), &error))
        return cli.fail(error);
    return 0;
}
