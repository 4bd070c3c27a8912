#include "venuetool.h"

#include "cataloguecommand.h"
#include "clientcommands.h"
#include "commandline.h"
#include "initcommand.h"
#include "reportcommand.h"
#include "sessioncommands.h"
#include "stationcommands.h"
#include "statuscommand.h"
#include "wakecommand.h"

#include <cstdio>
#include <exception>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& arguments, CommandLine& cli);
};

// One line a command; its help and its work live in its own file.
const Command kCommands[] = {
    {"init", "set up the venue's broker in a folder: configuration, passwords, ACL, the desk's credentials",
     runInitCommand},
    {"add-station", "let a station sign in, and write the one file to copy to it", runAddStationCommand},
    {"remove-station", "take a station's access away", runRemoveStationCommand},
    {"add-desk", "give a tablet or PC of the desk's a sign-in of its own, with the desk's rights", runAddDeskCommand},
    {"remove-desk", "take a desk device's access away, as when a tablet is lost", runRemoveDeskCommand},
    {"status", "show every station: help calls first, sessions, online, game, last launch, catalogue",
     runStatusCommand},
    {"launch", "start a game on one, several or all stations", runLaunchCommand},
    {"calibrate", "calibrate the walking device of one, several or all stations", runCalibrateCommand},
    {"scan", "bring the stations' catalogues up to date with what is installed", runScanCommand},
    {"session", "start, extend or end a session of paid time on one, several or all stations", runSessionCommand},
    {"answer", "answer a station's help call: its headset says someone is coming", runAnswerCommand},
    {"ready", "mark stations cleaned and ready after a session", runReadyCommand},
    {"catalogue", "publish the venue catalogue from a catalogue folder, or show it", runCatalogueCommand},
    {"report", "the venue's books: sessions, minutes sold, games, stations' hours, help calls", runReportCommand},
    {"wake", "switch stations on over the network (Wake-on-LAN)", runWakeCommand},
    {"power", "switch stations off or restart them", runPowerCommand},
};

const char kDescription[] =
    "The venue's desk: sets up the Mosquitto broker that the stations and the desk speak through,\n"
    "gives each station its own sign-in, shows the stations, starts games and calibrates on them,\n"
    "sells time on them as sessions and answers their help calls, and publishes the venue catalogue\n"
    "that every station follows.";

const char kExitStatus[] = "\n'nerq-venue <command> --help' describes a command.\n"
                           "Exit status: 0 done, 1 a station or the venue's files failed, 2 usage error.";

int run(const QStringList& arguments, CommandLine& cli)
{
    QString names;
    QString list = "\n\nCommands:\n";
    for (const Command& command : kCommands) {
        names += (names.isEmpty() ? "" : ", ") + QString(command.name);
        list += QString("  %1 %2\n").arg(QString(command.name).leftJustified(15), command.summary);
    }
    QString name;
    QStringList rest;
    int status = 0;
    if (!cli.parseTool(kDescription + list + kExitStatus, names, arguments, &name, &rest, &status))
        return status;
    for (const Command& command : kCommands) {
        if (name == QLatin1String(command.name))
            return command.run(rest, cli);
    }
    return cli.usageError(QString("unknown command \"%1\" (%2)").arg(name, names));
}

} // namespace

int runVenueTool(const QStringList& arguments)
{
    // Whatever a library throws on some input ends as a message and a failure, never as an abort.
    try {
        CommandLine cli("nerq-venue");
        return run(arguments, cli);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nerq-venue: stopped: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "nerq-venue: stopped on an unknown error\n");
    }
    return 1;
}
