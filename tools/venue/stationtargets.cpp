#include "stationtargets.h"

#include "commandline.h"
#include "deskconnection.h"
#include "desksession.h"

#include <QCommandLineParser>
#include <QSysInfo>

namespace {

QString outcomeLine(const DeskSession::Outcome& outcome, const QString& done, const StationStatus& status, int wait)
{
    switch (outcome.state) {
    case DeskSession::Outcome::Done:
        return done;
    case DeskSession::Outcome::Failed:
        return "FAILED: " + outcome.error;
    case DeskSession::Outcome::Offline:
        return status.since ? "offline since " + DeskConnection::time(status.since) + "; not sent"
                            : QStringLiteral("offline (connection lost); not sent");
    case DeskSession::Outcome::Unknown:
        return QStringLiteral("unknown station (it has never reported); not sent");
    case DeskSession::Outcome::NoAnswer:
        break;
    }
    return QString("no answer within %1 s").arg(wait);
}

} // namespace

namespace StationTargets {

const char kHelp[] =
    "\n\nEvery station named (or, with --all, every station that has reported) gets the command when it\n"
    "is online; one that is offline is refused at once, not queued for later. The command expires\n"
    "after --wait seconds (default 10), so a station that gets it late never carries it out.\n"
    "Exit status: 0 every station did it, 1 one failed, was offline or did not answer, 2 usage error.";

QString defaultBy()
{
    return "nerq-venue on " + QSysInfo::machineHostName();
}

void addOptions(QCommandLineParser& parser, bool all)
{
    parser.addOptions(
        {DeskConnection::configOption(),
         QCommandLineOption("station", "The stations, by id, separated by commas.", "ID[,ID...]"),
         QCommandLineOption("wait", "How long to wait for the stations' answers (default 10).", "SECONDS", "10")});
    if (all)
        parser.addOption(QCommandLineOption("all", "Every station that has reported."));
}

bool wait(const QCommandLineParser& parser, CommandLine& cli, int* seconds, int* status)
{
    return cli.number(parser, "wait", 1, 3600, seconds, status);
}

int send(const QCommandLineParser& parser, CommandLine& cli, const StationCommand& command, int wait,
         const QString& done, bool allowed)
{
    const bool all = allowed && parser.isSet("all");
    if (parser.isSet("station") == all)
        return cli.usageError(allowed ? "name the stations with --station ID[,ID...], or give --all"
                                      : "name the stations with --station ID[,ID...]");
    int status = 0;
    BrokerConfig config;
    if (!DeskConnection::load(parser, cli, &config, &status))
        return status;
    DeskSession session(config);
    if (!DeskConnection::open(session, cli, &status))
        return status;
    QStringList targets = all ? session.stations().keys() : parser.value("station").split(',', Qt::SkipEmptyParts);
    targets.removeDuplicates();
    if (targets.isEmpty()) {
        session.close();
        return cli.fail("no station has reported yet");
    }
    const QList<DeskSession::Outcome> outcomes = session.send(targets, command, wait);
    session.close();

    bool every = true;
    for (const DeskSession::Outcome& outcome : outcomes) {
        every = every && outcome.state == DeskSession::Outcome::Done;
        cli.out() << outcome.station << ": "
                  << outcomeLine(outcome, done, session.stations().value(outcome.station), wait) << '\n';
    }
    return every ? 0 : 1;
}

} // namespace StationTargets
