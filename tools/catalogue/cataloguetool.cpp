#include "cataloguetool.h"

#include "addcommand.h"
#include "checkcommand.h"
#include "commandline.h"
#include "listcommand.h"
#include "movecommand.h"
#include "removecommand.h"
#include "setcommand.h"
#include "steamscan.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QTextStream>

#include <climits>
#include <cstdio>
#include <exception>
#include <optional>

namespace {

const char kDescription[] =
    "Keeps the game catalogues game/data_en.json and game/data_cn.json in step with the installed\n"
    "Steam library, edits both alike, and checks a catalogue the way the program reads it.\n"
    "\n"
    "Commands:\n"
    "  scan     add the installed Steam VR games to both catalogues\n"
    "  list     list the games in the page's order, with their pictures' state\n"
    "  add      add a native or Steam game\n"
    "  set      change a game's names, mode, picture or launcher\n"
    "  remove   take games off, with the pictures no other game shows\n"
    "  move     put a game at another position on the page\n"
    "  check    report what the program would skip or refuse in a catalogue\n"
    "\n"
    "'nerq-catalogue <command> --help' describes a command.\n"
    "Exit status: 0 done (check: every entry loads), 1 Steam or a catalogue could not be read or\n"
    "written, or the data forbids the change, which then changes nothing (check: the program would\n"
    "skip or refuse something), 2 usage error.";

const char kScanDescription[] =
    "Finds Steam (or takes --steam-root), reads every library's app manifests and adds the fully\n"
    "installed VR games that Steam's VR manifest lists to game/data_en.json and game/data_cn.json.\n"
    "Entries already listed keep every value they have; only empty ones are filled in. New games\n"
    "go at the end, with their picture copied from Steam's cache to game/images/steam_<id>.<ext>.\n"
    "Games no longer installed are reported and kept. A catalogue that the program would not load\n"
    "whole is left unchanged. Each written catalogue's previous version is kept as <name>.bak.\n"
    "SteamVR and its tools (apps 250820, 323910, 719950) are not games unless --include lists them.";

const char kCheckDescription[] =
    "Reads a catalogue with the program's own code and reports every entry it would skip or drop\n"
    "(entries counted from 0), or why it would refuse the whole file, and warns about pictures and\n"
    "native launchers that do not exist. Exit status 0 when every entry loads, else 1.";

const char kEditNote[] =
    "\n\nBoth catalogues under --catalogue-dir change alike, under the folder's lock, each written\n"
    "atomically with its previous version kept as <name>.bak; a catalogue the program would not\n"
    "load whole is left unchanged. The running program shows new games at its next 30-second\n"
    "reload, and changed, moved or removed ones at its next start.\n"
    "Exit status: 0 done, 1 nothing changed because of the data (an unknown or taken id, a missing\n"
    "launcher, a file that is no picture, a catalogue that cannot be read or written), 2 usage error.";

const char kListDescription[] =
    "Lists the games in the page's order, which is game/data_en.json's; games that only\n"
    "game/data_cn.json lists follow, marked. Each line: position (from 1), gameId, the English and\n"
    "Chinese names, native with its launcher or Steam with its app id, gameMode, and whether the\n"
    "picture the page loads (imgPath from <catalogue-dir>/res/) is there and decodes. Only reads:\n"
    "it takes no lock and works on a folder it may not write. Exit status: 0, or 1 when there is\n"
    "no catalogue or one that the program would not load whole.";

const char kAddDescription[] =
    "Adds a native game started by --launcher (a file that must exist; stored as ./path when it\n"
    "lies in the catalogue folder, the program's working directory, else by its full path) or a\n"
    "Steam game (--steam-id, not listed yet) to both catalogues, at --position (from 1; default\n"
    "the end). --image is checked like the scan's pictures and copied to game/images/<gameId>.<ext>.\n"
    "The gameId, unless --id names a free one, is made from the name: lower case letters and\n"
    "digits, other characters as \"_\", made unique with \"_2\"...";

const char kSetDescription[] =
    "Changes a game's values: --name in game/data_en.json, --name-cn in game/data_cn.json, the\n"
    "others in both. --image replaces the picture (the old copy in game/images/ goes when no game\n"
    "shows it any more); --launcher makes the game a native one started by that file.";

const char kRemoveDescription[] =
    "Takes the games off both catalogues. A picture in game/images/ that a removed game showed\n"
    "goes too, unless another game shows it. An unknown id changes nothing.";

const char kMoveDescription[] = "Moves a game to position --to (from 1, the first tile) in both catalogues.";

class Cli : public CommandLine
{
public:
    Cli()
        : CommandLine("nerq-catalogue")
    {}

    int run(const QStringList& arguments);

private:
    static QCommandLineOption dirOption()
    {
        return QCommandLineOption("catalogue-dir", "The folder holding game/ (default: the working directory).", "DIR",
                                  QDir::currentPath());
    }
    static QCommandLineOption waitOption()
    {
        return QCommandLineOption("wait",
                                  "How long to wait for another nerq-catalogue writing the catalogues "
                                  "(default 5).",
                                  "SECONDS", "5");
    }
    // A writing command's parser: its description, --catalogue-dir, --wait and `options`.
    bool parseEdit(QCommandLineParser& parser, const char* description, const QList<QCommandLineOption>& options,
                   const QString& usage, const QStringList& arguments, int* waitSeconds, int* status)
    {
        parser.setApplicationDescription(QString(description) + kEditNote);
        parser.addOptions(options);
        parser.addOptions({dirOption(), waitOption()});
        return parse(parser, usage, arguments, status) && number(parser, "wait", 0, 3600, waitSeconds, status);
    }
    int scan(const QStringList& arguments);
    int list(const QStringList& arguments);
    int add(const QStringList& arguments);
    int set(const QStringList& arguments);
    int remove(const QStringList& arguments);
    int move(const QStringList& arguments);
    int check(const QStringList& arguments);
};

int Cli::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument("command", "scan, list, add, set, remove, move or check, then its own options.",
                                 "<command> [options]");
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    QStringList rest = parser.positionalArguments();
    if (parser.isSet(version)) {
        out() << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        printHelp(parser, "nerq-catalogue <command> [options]");
        return 0;
    }
    const QString commands = "scan, list, add, set, remove, move or check";
    if (rest.isEmpty())
        return usageError("no command given (" + commands + ")");
    const QString command = rest.takeFirst();
    const QHash<QString, int (Cli::*)(const QStringList&)> run = {
        {"scan", &Cli::scan},     {"list", &Cli::list}, {"add", &Cli::add},    {"set", &Cli::set},
        {"remove", &Cli::remove}, {"move", &Cli::move}, {"check", &Cli::check}};
    if (run.contains(command))
        return (this->*run.value(command))(rest);
    return usageError(QString("unknown command \"%1\" (%2)").arg(command, commands));
}

int Cli::scan(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kScanDescription);
    const QCommandLineOption root("steam-root", "A Steam folder to scan instead of looking for Steam (repeatable).",
                                  "DIR");
    const QCommandLineOption dir = dirOption();
    const QCommandLineOption mode("mode", "gameMode of the games added, -999 to 9999 (default 0).", "N", "0");
    const QCommandLineOption include("include", "App ids to count as VR games: one a line, # comments.", "FILE");
    const QCommandLineOption exclude("exclude", "App ids never to add, even when included: same format.", "FILE");
    const QCommandLineOption prune("prune", "Remove Steam games that are not installed any more.");
    const QCommandLineOption dryRun("dry-run", "Print what would change; write nothing, copy no picture.");
    const QCommandLineOption wait = waitOption();
    parser.addOptions({root, dir, mode, include, exclude, prune, dryRun, wait});
    int status = 0;
    if (!parse(parser,
               "nerq-catalogue scan [--steam-root DIR]... [--catalogue-dir DIR] [--mode N] [--include FILE] "
               "[--exclude FILE] [--prune] [--dry-run] [--wait SECONDS]",
               arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError("scan: unexpected argument " + parser.positionalArguments().first());

    ScanOptions options;
    if (!number(parser, "mode", -999, 9999, &options.mode, &status))
        return status;
    options.steamRoots = parser.values(root);
    options.catalogueDir = parser.value(dir);
    options.includeFile = parser.value(include);
    options.excludeFile = parser.value(exclude);
    options.prune = parser.isSet(prune);
    options.dryRun = parser.isSet(dryRun);
    if (!number(parser, "wait", 0, 3600, &options.waitSeconds, &status))
        return status;
    return runScan(options, out(), err());
}

int Cli::list(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kListDescription);
    const QCommandLineOption dir = dirOption();
    const QCommandLineOption json("json", "One JSON array of the games, for scripts.");
    parser.addOptions({dir, json});
    int status = 0;
    if (!parse(parser, "nerq-catalogue list [--catalogue-dir DIR] [--json]", arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError("list: unexpected argument " + parser.positionalArguments().first());
    return runList(parser.value(dir), parser.isSet(json), out(), err());
}

int Cli::add(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption launcher("launcher", "A native game: the file that starts it.", "PATH");
    const QCommandLineOption steamId("steam-id", "A Steam game: its app id.", "N");
    const QCommandLineOption name("name", "The game's name on the English page.", "NAME");
    const QCommandLineOption nameCn("name-cn", "Its name on the Chinese page (default: --name).", "NAME");
    const QCommandLineOption mode("mode", "gameMode, -999 to 9999 (default 0).", "N", "0");
    const QCommandLineOption image("image", "Its picture, a JPEG, PNG or other picture the page shows.", "FILE");
    const QCommandLineOption id("id", "Its gameId (default: made from the name).", "ID");
    const QCommandLineOption position("position", "Its position on the page, from 1 (default: the end).", "N");
    AddOptions options;
    int status = 0;
    if (!parseEdit(parser, kAddDescription, {launcher, steamId, name, nameCn, mode, image, id, position},
                   "nerq-catalogue add [--catalogue-dir DIR] (--launcher PATH | --steam-id N) --name NAME "
                   "[--name-cn NAME] [--mode N] [--image FILE] [--id ID] [--position N] [--wait SECONDS]",
                   arguments, &options.waitSeconds, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError("add: unexpected argument " + parser.positionalArguments().first());
    if (parser.isSet(launcher) == parser.isSet(steamId))
        return usageError("add takes either --launcher PATH (a native game) or --steam-id N (a Steam game)");
    if (parser.value(name).isEmpty() || (parser.isSet(id) && parser.value(id).isEmpty()))
        return usageError("add needs a --name, and an --id when given that is not empty");
    if (!number(parser, "mode", -999, 9999, &options.mode, &status)
        || (parser.isSet(steamId) && !number(parser, "steam-id", 1, INT_MAX, &options.steamId, &status))
        || (parser.isSet(position) && !number(parser, "position", 1, INT_MAX, &options.position, &status)))
        return status;
    options.catalogueDir = parser.value(dirOption().names().first());
    options.launcher = parser.value(launcher);
    options.name = parser.value(name);
    options.nameCn = parser.value(nameCn);
    options.image = parser.value(image);
    options.gameId = parser.value(id);
    return runAdd(options, out(), err());
}

int Cli::set(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID", "The game's gameId.");
    const QCommandLineOption name("name", "Its name on the English page.", "NAME");
    const QCommandLineOption nameCn("name-cn", "Its name on the Chinese page.", "NAME");
    const QCommandLineOption mode("mode", "gameMode, -999 to 9999.", "N");
    const QCommandLineOption image("image", "A new picture.", "FILE");
    const QCommandLineOption launcher("launcher", "The file that starts it, as a native game.", "PATH");
    SetOptions options;
    int status = 0;
    if (!parseEdit(parser, kSetDescription, {name, nameCn, mode, image, launcher},
                   "nerq-catalogue set [--catalogue-dir DIR] ID [--name NAME] [--name-cn NAME] [--mode N] "
                   "[--image FILE] [--launcher PATH] [--wait SECONDS]",
                   arguments, &options.waitSeconds, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return usageError("set takes one game id");
    auto given = [&parser](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
    };
    options.name = given(name);
    options.nameCn = given(nameCn);
    options.image = given(image);
    options.launcher = given(launcher);
    int value = 0;
    if (parser.isSet(mode) && !number(parser, "mode", -999, 9999, &value, &status))
        return status;
    if (parser.isSet(mode))
        options.mode = value;
    if (!options.name && !options.nameCn && !options.image && !options.launcher && !options.mode)
        return usageError("set: nothing to change (--name, --name-cn, --mode, --image or --launcher)");
    options.catalogueDir = parser.value(dirOption().names().first());
    options.gameId = parser.positionalArguments().first();
    return runSet(options, out(), err());
}

int Cli::remove(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID...", "The games' gameIds.");
    int wait = 0;
    int status = 0;
    if (!parseEdit(parser, kRemoveDescription, {}, "nerq-catalogue remove [--catalogue-dir DIR] ID... [--wait SECONDS]",
                   arguments, &wait, &status))
        return status;
    if (parser.positionalArguments().isEmpty())
        return usageError("remove takes one or more game ids");
    return runRemove(parser.value(dirOption().names().first()), parser.positionalArguments(), wait, out(), err());
}

int Cli::move(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID", "The game's gameId.");
    const QCommandLineOption to("to", "Its new position, from 1 (the first tile).", "N");
    int wait = 0;
    int status = 0;
    if (!parseEdit(parser, kMoveDescription, {to},
                   "nerq-catalogue move [--catalogue-dir DIR] ID --to N [--wait SECONDS]", arguments, &wait, &status))
        return status;
    if (parser.positionalArguments().size() != 1 || !parser.isSet(to))
        return usageError("move takes one game id and --to N");
    int position = 0;
    if (!number(parser, "to", 1, INT_MAX, &position, &status))
        return status;
    return runMove(parser.value(dirOption().names().first()), parser.positionalArguments().first(), position, wait,
                   out(), err());
}

int Cli::check(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kCheckDescription);
    parser.addPositionalArgument("FILE", "The catalogue, e.g. game/data_en.json.");
    const QCommandLineOption workingDir("working-dir",
                                        "The program's working directory, from which pictures (through res/) and "
                                        "native launchers are found (default: the current one).",
                                        "DIR", QDir::currentPath());
    parser.addOption(workingDir);
    int status = 0;
    if (!parse(parser, "nerq-catalogue check [--working-dir DIR] FILE", arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return usageError("check takes one catalogue file");
    return runCheck(parser.positionalArguments().first(), parser.value(workingDir), out());
}

} // namespace

int runCatalogueTool(const QStringList& arguments)
{
    // Whatever a library throws on some input ends as a message and a failure, never as an abort.
    try {
        return Cli().run(arguments);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nerq-catalogue: stopped, nothing more written: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "nerq-catalogue: stopped on an unknown error, nothing more written\n");
    }
    return 1;
}
