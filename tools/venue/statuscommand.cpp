#include "statuscommand.h"

#include "commandline.h"
#include "deskconnection.h"
#include "desksession.h"
#include "sessionsummary.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

const char kDescription[] =
    "Lists every station that has ever reported to the venue's broker, one line each: a help call\n"
    "and how long it has waited, the session (time left, time's up, ended) and whether the station\n"
    "is ready, online or offline and since when, the game running now, the last launch, the venue\n"
    "catalogue it follows and the venue games not installed there, and whether the walking device's\n"
    "service and the headset's program run. Help calls nobody answered come first, the longest\n"
    "waiting first. --json prints the stations' status objects as the broker keeps them, in an array.";

QString describe(const StationStatus& status, qint64 now)
{
    QStringList parts = SessionSummary::describe(status, now);
    if (status.online)
        parts << "online since " + DeskConnection::time(status.since);
    else if (status.since)
        parts << "OFFLINE since " + DeskConnection::time(status.since);
    else
        parts << "OFFLINE (connection lost)";
    if (status.online)
        parts << (status.runningGame.isEmpty() ? QStringLiteral("no game running") : "running " + status.runningGame);
    if (status.lastLaunch && status.lastLaunch->at)
        parts << QString("last launch %1 at %2 by %3")
                     .arg(status.lastLaunch->gameId, DeskConnection::time(status.lastLaunch->at),
                          status.lastLaunch->by);
    else if (status.lastLaunch) // its time went with the connection: it was before that
        parts << QString("last launch %1 by %2, before it went offline")
                     .arg(status.lastLaunch->gameId, status.lastLaunch->by);
    parts << (status.catalogueRevision.isEmpty()
                  ? QStringLiteral("own catalogue")
                  : QString("venue catalogue published %1 (revision %2)")
                        .arg(DeskConnection::time(status.cataloguePublished), status.catalogueRevision));
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
    const QMap<QString, QByteArray> payloads = session.statusPayloads();
    session.close();

    if (parser.isSet("json")) {
        QJsonArray array;
        for (const QByteArray& payload : payloads)
            array.append(QJsonDocument::fromJson(payload).object());
        cli.out() << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (stations.isEmpty())
        cli.out() << "No station has reported yet.\n";
    // Calls first, the longest waiting first; the rest as the broker names them.
    const qint64 now = nowMs();
    QList<StationStatus> lines = stations.values();
    std::stable_sort(lines.begin(), lines.end(), [now](const StationStatus& a, const StationStatus& b) {
        return SessionSummary::helpWaitingMs(a, now) > SessionSummary::helpWaitingMs(b, now);
    });
    for (const StationStatus& station : lines)
        cli.out() << station.station << ": " << describe(station, now) << '\n';
    return 0;
}
