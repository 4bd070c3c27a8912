#include "stationcommands.h"

#include "commandline.h"
#include "deskconnection.h"
#include "desksession.h"

#include <QCommandLineParser>
#include <QSysInfo>

namespace {

const char kTargets[] =
    "\n\nEvery station named (or, with --all, every station that has reported) gets the command when it\n"
    "is online; one that is offline is refused at once, not queued for later. The command expires\n"
    "after --wait seconds (default 10), so a station that gets it late never carries it out.\n"
    "Exit status: 0 every station did it, 1 one failed, was offline or did not answer, 2 usage error.";

struct Kind {
    const char* name;
    const char* usage;
    const char* description;
    const char* done; // "started", "calibrating"
};

const Kind kLaunch{"launch", "nerq-venue launch GAMEID (--station ID[,ID...] | --all) [--wait SECONDS]",
                   "Starts the game GAMEID (its gameId in the stations' catalogues) as a click on its tile\n"
                   "does: its launcher or Steam, then its mode to the walking device's service.",
                   "started"};
const Kind kCalibrate{"calibrate", "nerq-venue calibrate (--station ID[,ID...] | --all) [--wait SECONDS]",
                      "Asks each station's walking device to calibrate, as the \"Calibration\" button does.",
                      "calibration requested"};
const Kind kScan{"scan", "nerq-venue scan (--station ID[,ID...] | --all) [--wait SECONDS]",
                 "Brings each station's catalogues up to date: a station that follows the venue catalogue\n"
                 "applies it again to what is installed now; any other runs the Steam scan.",
                 "catalogues up to date"};

QString outcomeLine(const DeskSession::Outcome& outcome, const Kind& kind, const StationStatus& status, int wait)
{
    switch (outcome.state) {
    case DeskSession::Outcome::Done:
        return kind.done;
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

int run(const Kind& kind, const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString(kind.description) + kTargets);
    parser.addOptions(
        {DeskConnection::configOption(),
         QCommandLineOption("station", "The stations, by id, separated by commas.", "ID[,ID...]"),
         QCommandLineOption("all", "Every station that has reported."),
         QCommandLineOption("wait", "How long to wait for the stations' answers (default 10).", "SECONDS", "10")});
    if (&kind == &kLaunch)
        parser.addPositionalArgument("GAMEID", "The game's gameId.");
    int status = 0;
    int wait = 0;
    BrokerConfig config;
    if (!cli.parse(parser, kind.usage, arguments, &status) || !cli.number(parser, "wait", 1, 3600, &wait, &status))
        return status;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != (&kind == &kLaunch ? 1 : 0))
        return cli.usageError(&kind == &kLaunch ? "launch takes one GAMEID"
                                                : QString("%1 takes no argument").arg(kind.name));
    if (parser.isSet("station") == parser.isSet("all"))
        return cli.usageError("name the stations with --station ID[,ID...], or give --all");
    if (!DeskConnection::load(parser, cli, &config, &status))
        return status;

    DeskSession session(config);
    if (!DeskConnection::open(session, cli, &status))
        return status;
    QStringList targets =
        parser.isSet("all") ? session.stations().keys() : parser.value("station").split(',', Qt::SkipEmptyParts);
    targets.removeDuplicates();
    if (targets.isEmpty()) {
        session.close();
        return cli.fail("no station has reported yet");
    }
    StationCommand command;
    command.command = kind.name;
    if (&kind == &kLaunch)
        command.gameId = positional.first();
    command.by = "nerq-venue on " + QSysInfo::machineHostName();
    const QList<DeskSession::Outcome> outcomes = session.send(targets, command, wait);
    session.close();

    bool all = true;
    for (const DeskSession::Outcome& outcome : outcomes) {
        all = all && outcome.state == DeskSession::Outcome::Done;
        cli.out() << outcome.station << ": "
                  << outcomeLine(outcome, kind, session.stations().value(outcome.station), wait) << '\n';
    }
    return all ? 0 : 1;
}

} // namespace

int runLaunchCommand(const QStringList& arguments, CommandLine& cli)
{
    return run(kLaunch, arguments, cli);
}

int runCalibrateCommand(const QStringList& arguments, CommandLine& cli)
{
    return run(kCalibrate, arguments, cli);
}

int runScanCommand(const QStringList& arguments, CommandLine& cli)
{
    return run(kScan, arguments, cli);
}
