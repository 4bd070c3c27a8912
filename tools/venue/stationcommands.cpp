#include "stationcommands.h"

#include "commandline.h"
#include "stationtargets.h"

#include <QCommandLineParser>

namespace {

struct Kind {
    const char* name;
    const char* usage;
    const char* description;
    const char* done;     // "started", "calibrating"
    const char* argument; // the one positional argument, or none
};

const Kind kLaunch{"launch", "nerq-venue launch GAMEID (--station ID[,ID...] | --all) [--wait SECONDS]",
                   "Starts the game GAMEID (its gameId in the stations' catalogues) as a click on its tile\n"
                   "does: its launcher or Steam, then its mode to the walking device's service.",
                   "started", "GAMEID"};
const Kind kCalibrate{"calibrate", "nerq-venue calibrate (--station ID[,ID...] | --all) [--wait SECONDS]",
                      "Asks each station's walking device to calibrate, as the \"Calibration\" button does.",
                      "calibration requested", nullptr};
const Kind kScan{"scan", "nerq-venue scan (--station ID[,ID...] | --all) [--wait SECONDS]",
                 "Brings each station's catalogues up to date: a station that follows the venue catalogue\n"
                 "applies it again to what is installed now; any other runs the Steam scan.",
                 "catalogues up to date", nullptr};
const Kind kPower{"power", "nerq-venue power off|restart (--station ID[,ID...] | --all) [--force] [--wait SECONDS]",
                  "Switches stations off or restarts them: each station's agent asks its operating system\n"
                  "(logind on Linux, the shutdown API on Windows). A station in a session refuses unless\n"
                  "--force is given. 'nerq-venue wake' switches them on again.",
                  "switching off", "off|restart"};

// The command the arguments ask for; false with the usage error reported.
bool commandFrom(const Kind& kind, const QCommandLineParser& parser, CommandLine& cli, StationCommand* command,
                 int* status)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != (kind.argument ? 1 : 0)) {
        *status = cli.usageError(kind.argument ? QString("%1 takes one %2").arg(kind.name, kind.argument)
                                               : QString("%1 takes no argument").arg(kind.name));
        return false;
    }
    command->command = kind.name;
    command->by = StationTargets::defaultBy();
    if (&kind == &kLaunch)
        command->gameId = positional.first();
    if (&kind != &kPower)
        return true;
    if (positional.first() != QLatin1String("off") && positional.first() != QLatin1String("restart")) {
        *status = cli.usageError("power takes off or restart, not \"" + positional.first() + "\"");
        return false;
    }
    command->action = positional.first();
    command->force = parser.isSet("force");
    return true;
}

int run(const Kind& kind, const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString(kind.description) + StationTargets::kHelp);
    StationTargets::addOptions(parser);
    if (&kind == &kLaunch)
        parser.addPositionalArgument("GAMEID", "The game's gameId.");
    if (&kind == &kPower) {
        parser.addPositionalArgument("off|restart", "Switch off, or restart.");
        parser.addOption({"force", "Even a station in a session."});
    }
    int status = 0;
    int wait = 0;
    StationCommand command;
    if (!cli.parse(parser, kind.usage, arguments, &status) || !StationTargets::wait(parser, cli, &wait, &status)
        || !commandFrom(kind, parser, cli, &command, &status))
        return status;
    const QString done = command.action == QLatin1String("restart") ? QStringLiteral("restarting") : QString(kind.done);
    return StationTargets::send(parser, cli, command, wait, done);
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

int runPowerCommand(const QStringList& arguments, CommandLine& cli)
{
    return run(kPower, arguments, cli);
}
