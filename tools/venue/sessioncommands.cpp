#include "sessioncommands.h"

#include "commandline.h"
#include "stationtargets.h"

#include <QCommandLineParser>

namespace {

// What a station takes: a second to a day.
constexpr int kMaxSeconds = int(StationCommand::kMaxSessionSeconds);

const char kStartUsage[] = "nerq-venue session start (--station ID[,ID...] | --all) (--minutes N | --seconds N) "
                           "[--game GAMEID] [--wait SECONDS]";
const char kExtendUsage[] =
    "nerq-venue session extend (--station ID[,ID...] | --all) (--minutes N | --seconds N) [--wait SECONDS]";
const char kEndUsage[] = "nerq-venue session end (--station ID[,ID...] | --all) [--wait SECONDS]";
const char kAnswerUsage[] = "nerq-venue answer --station ID[,ID...] [--by NAME] [--wait SECONDS]";
const char kReadyUsage[] = "nerq-venue ready (--station ID[,ID...] | --all) [--wait SECONDS]";

const char kStartDescription[] =
    "Starts a session of the length given on each station: the station counts it down itself and ends\n"
    "it on time, with the desk, the broker or the network gone. With --game, the game starts as\n"
    "nerq-venue launch starts it, and when it cannot start no session starts. A station refuses while\n"
    "a session runs there or is in its time's up.";
const char kExtendDescription[] =
    "Adds time to the session running on each station; in its time's up, before the game is ended,\n"
    "it resumes the session.";
const char kEndDescription[] = "Ends the session on each station now, and the game running there with it.";
const char kAnswerDescription[] =
    "Answers the help call of each station: its headset says that someone is coming (with --by, who).";
const char kReadyDescription[] =
    "Says each station is cleaned and ready for the next customer (the headset wiped, a fresh face\n"
    "cover). A station refuses while a session runs there.";

// --minutes N or --seconds N, exactly one, as seconds.
bool sessionLength(const QCommandLineParser& parser, CommandLine& cli, int* seconds, int* status)
{
    if (parser.isSet("minutes") == parser.isSet("seconds")) {
        *status = cli.usageError("give the length as --minutes N or --seconds N");
        return false;
    }
    if (parser.isSet("seconds"))
        return cli.number(parser, "seconds", 1, kMaxSeconds, seconds, status);
    int minutes = 0;
    if (!cli.number(parser, "minutes", 1, kMaxSeconds / 60, &minutes, status))
        return false;
    *seconds = minutes * 60;
    return true;
}

// Parses a command's options and its --wait, and that it has no argument besides.
bool parse(QCommandLineParser& parser, const char* usage, const QStringList& arguments, CommandLine& cli, int* wait,
           int* status)
{
    if (!cli.parse(parser, usage, arguments, status) || !StationTargets::wait(parser, cli, wait, status))
        return false;
    if (parser.positionalArguments().isEmpty())
        return true;
    *status = cli.usageError(QString("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    return false;
}

int start(const QStringList& arguments, CommandLine& cli, bool extend)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString(extend ? kExtendDescription : kStartDescription) + StationTargets::kHelp);
    StationTargets::addOptions(parser);
    parser.addOptions({QCommandLineOption("minutes", "The length in minutes (1 to 1440).", "N"),
                       QCommandLineOption("seconds", "The length in seconds (1 to 86400).", "N")});
    if (!extend)
        parser.addOption(QCommandLineOption("game", "Starts this game (its gameId) with the session.", "GAMEID"));
    int status = 0;
    int wait = 0;
    int seconds = 0;
    if (!parse(parser, extend ? kExtendUsage : kStartUsage, arguments, cli, &wait, &status)
        || !sessionLength(parser, cli, &seconds, &status))
        return status;
    StationCommand command;
    command.command = extend ? "session-extend" : "session-start";
    command.by = StationTargets::defaultBy();
    command.seconds = seconds;
    const QString bought = minutesSeconds(qint64(seconds) * 1000);
    QString done = extend ? "extended by " + bought : "session of " + bought + " started";
    if (!extend && parser.isSet("game")) {
        command.gameId = parser.value("game");
        done += ", " + command.gameId + " started";
    }
    return StationTargets::send(parser, cli, command, wait, done);
}

// A command with nothing of its own: session end, answer, ready.
int plain(const QStringList& arguments, CommandLine& cli, const char* name, const char* usage, const char* description,
          const QString& done)
{
    const bool answer = QLatin1String(name) == QLatin1String("help-answer");
    QCommandLineParser parser;
    parser.setApplicationDescription(QString(description) + StationTargets::kHelp);
    StationTargets::addOptions(parser, !answer);
    if (answer)
        parser.addOption(QCommandLineOption("by", "Who is coming, as the headset names them.", "NAME"));
    int status = 0;
    int wait = 0;
    if (!parse(parser, usage, arguments, cli, &wait, &status))
        return status;
    StationCommand command;
    command.command = name;
    // The headset names who answered a call; without --by it says that someone is coming.
    command.by = answer ? parser.value("by") : StationTargets::defaultBy();
    return StationTargets::send(parser, cli, command, wait, done, !answer);
}

} // namespace

int runSessionCommand(const QStringList& arguments, CommandLine& cli)
{
    const QString action = arguments.isEmpty() ? QString() : arguments.first();
    if (action == QLatin1String("start"))
        return start(arguments.mid(1), cli, false);
    if (action == QLatin1String("extend"))
        return start(arguments.mid(1), cli, true);
    if (action == QLatin1String("end"))
        return plain(arguments.mid(1), cli, "session-end", kEndUsage, kEndDescription, "session ended");
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        cli.out() << "Usage: " << kStartUsage << "\n       " << kExtendUsage << "\n       " << kEndUsage
                  << "\n'nerq-venue session start --help' (extend, end) says more.\n";
        return 0;
    }
    return cli.usageError("session takes start, extend or end");
}

int runAnswerCommand(const QStringList& arguments, CommandLine& cli)
{
    return plain(arguments, cli, "help-answer", kAnswerUsage, kAnswerDescription, "answered: someone is coming");
}

int runReadyCommand(const QStringList& arguments, CommandLine& cli)
{
    return plain(arguments, cli, "ready", kReadyUsage, kReadyDescription, "ready");
}
