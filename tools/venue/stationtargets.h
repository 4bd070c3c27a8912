#pragma once

#include "venueprotocol.h"

#include <QString>

class CommandLine;
class QCommandLineParser;

// What every nerq-venue command to stations shares (launch, calibrate, scan, session, answer,
// ready): --station ID[,ID...] or --all, --wait and --config; the command goes to every station
// named that is online, one that is offline is refused at once and not queued, and one line a
// station says how it went. Exit status 0 every station did it, 1 one failed, was offline or did
// not answer (or the broker could not be reached), 2 usage error.
namespace StationTargets {

// The paragraph the commands' help ends with.
extern const char kHelp[];

// Who asks, as a command's `by` says it: "nerq-venue on <this host>".
QString defaultBy();
// Adds --config, --station, --wait and, with `all`, --all.
void addOptions(QCommandLineParser& parser, bool all = true);
// After the parse: the --wait given, or a usage error (status 2).
bool wait(const QCommandLineParser& parser, CommandLine& cli, int* seconds, int* status);
// Sends `command` to the stations the options name (`all`: as addOptions was told) and prints a
// line for each: `done` for one that carried it out. Returns the exit status.
int send(const QCommandLineParser& parser, CommandLine& cli, const StationCommand& command, int wait,
         const QString& done, bool all = true);

} // namespace StationTargets
