#include "statuscommand.h"

#include "commandline.h"
#include "deskconnection.h"
#include "desksession.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char kDescription[] =
    "Lists every station that has ever reported to the venue's broker, one line each: online or\n"
    "offline and since when, the game running now, the last launch, the venue catalogue it follows\n"
    "and the venue games not installed there, and whether the walking device's service is there.\n"
    "--json prints the stations' status objects as the broker keeps them, in an array.";

QString describe(const StationStatus& status)
{
    QStringList parts;
    if (status.online)
        parts << "online since " + DeskConnection::time(status.since);
    else if (status.since)
        parts << "OFFLINE since " + DeskConnection::time(status.since);
    else
        parts << "OFFLINE (connection lost)";
    if (status.online)
        parts << (status.runningGame.isEmpty() ? QStringLiteral("no game running") : "running " + status.runningGame);
    if (status.lastLaunch)
        parts << QString("last launch %1 at %2 by %3")
                     .arg(status.lastLaunch->gameId, DeskConnection::time(status.lastLaunch->at),
                          status.lastLaunch->by);
    parts << (status.catalogueRevision.isEmpty() ? QStringLiteral("own catalogue")
                                                 : "venue catalogue " + status.catalogueRevision);
    if (!status.hiddenGames.isEmpty())
        parts << "not installed: " + status.hiddenGames.join(", ");
    if (status.online)
        parts << (status.deviceService ? QStringLiteral("device service there") : QStringLiteral("NO DEVICE SERVICE"));
    return parts.join("; ");
}

} // namespace

int runStatusCommand(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addOptions({DeskConnection::configOption(), QCommandLineOption("json", "Print JSON for scripts.")});
    int status = 0;
    BrokerConfig config;
    if (!cli.parse(parser, "nerq-venue status [--config FILE] [--json]", arguments, &status)
        || !DeskConnection::load(parser, cli, &config, &status))
        return status;
    DeskSession session(config);
    if (!DeskConnection::open(session, cli, &status))
        return status;
    const QMap<QString, StationStatus> stations = session.stations();
    session.close();

    if (parser.isSet("json")) {
        QJsonArray array;
        for (const StationStatus& station : stations)
            array.append(QJsonDocument::fromJson(station.toJson()).object());
        cli.out() << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (stations.isEmpty())
        cli.out() << "No station has reported yet.\n";
    for (const StationStatus& station : stations)
        cli.out() << station.station << ": " << describe(station) << '\n';
    return 0;
}
