#include "removestationcommand.h"

#include "commandline.h"
#include "stationarguments.h"
#include "venuefolder.h"

#include <QFile>
#include <QFileInfo>

namespace {

const char kDescription[] =
    "Takes the station ID's access to the venue's broker set up in DIR away: its password line, its\n"
    "ACL block and DIR/stations/ID.conf go, and a running broker reads the files again, which\n"
    "also ends the station's connection. Adding it again gives it a new password.";

} // namespace

int runRemoveStationCommand(const QStringList& arguments, CommandLine& cli)
{
    QString dir;
    QString id;
    int status = 0;
    if (!parseStationArguments("remove-station", kDescription, arguments, cli, &dir, &id, &status))
        return status;

    VenueFolder folder(dir);
    QString error;
    if (!folder.lock(&error) || !folder.loadAccess(&error))
        return cli.fail(error);
    QFile file(folder.path(VenueFolder::stationFile(id)));
    const bool hadPassword = folder.passwords().remove(id);
    const bool hadAcl = folder.acl().remove(id);
    const bool hadFile = file.exists();
    if (!hadPassword && !hadAcl && !hadFile)
        return cli.fail(QString("%1 has no station %2").arg(folder.dir(), id));
    QStringList written;
    if (!folder.saveAccess(&written, &error))
        return cli.fail(error);
    if (hadFile && !file.remove())
        return cli.fail(QString("station %1 can no longer sign in, but %2 cannot be removed: %3")
                            .arg(id, file.fileName(), file.errorString()));
    cli.out() << "Station " << id << " removed: its password, its ACL block and its file.\n";
    if (!written.isEmpty() && !folder.reloadBroker(cli.out(), &error))
        return cli.fail(error);
    return 0;
}
