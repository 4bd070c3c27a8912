#include "cataloguetool.h"

#include "checkcommand.h"
#include "scancommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

const char kDescription[] =
    "Keeps the game catalogues game/data_en.json and game/data_cn.json in step with the installed\n"
    "Steam library, and checks a catalogue the way the program reads it.\n"
    "\n"
    "Commands:\n"
    "  scan     add the installed Steam VR games to both catalogues\n"
    "  check    report what the program would skip or refuse in a catalogue\n"
    "\n"
    "'nerq-catalogue <command> --help' describes a command.\n"
    "Exit status: 0 done (check: every entry loads), 1 Steam or a catalogue could not be read or\n"
    "written (check: the program would skip or refuse something), 2 usage error.";

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

class Cli
{
public:
    Cli()
        : m_out(stdout)
        , m_err(stderr)
    {
        m_out.setCodec("UTF-8");
        m_err.setCodec("UTF-8");
    }

    int run(const QStringList& arguments);

private:
    int usageError(const QString& message)
    {
        m_err << "nerq-catalogue: " << message << "\nTry 'nerq-catalogue --help'.\n";
        return 2;
    }
    // Parses a command's own options; false when it printed help (status 0) or an error (2).
    bool parseCommand(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status);
    // Qt's help with a usage line that names the command, whatever the program file is called.
    void printHelp(const QCommandLineParser& parser, const QString& usage)
    {
        const QString text = parser.helpText();
        m_out << "Usage: " << usage << text.mid(text.indexOf('\n'));
    }
    static QCommandLineOption waitOption()
    {
        return QCommandLineOption("wait",
                                  "How long to wait for another nerq-catalogue writing the catalogues "
                                  "(default 5).",
                                  "SECONDS", "5");
    }
    bool parseWait(const QCommandLineParser& parser, const QCommandLineOption& option, int* seconds, int* status)
    {
        bool ok = false;
        *seconds = parser.value(option).toInt(&ok);
        if (ok && *seconds >= 0 && *seconds <= 3600)
            return true;
        *status = usageError("--wait takes a number of seconds from 0 to 3600, not \"" + parser.value(option) + '"');
        return false;
    }
    int scan(const QStringList& arguments);
    int check(const QStringList& arguments);

    QTextStream m_out;
    QTextStream m_err;
};

int Cli::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument("command", "scan or check, then the command's own options.", "<command> [options]");
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    QStringList rest = parser.positionalArguments();
    if (parser.isSet(version)) {
        m_out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        printHelp(parser, "nerq-catalogue <command> [options]");
        return 0;
    }
    if (rest.isEmpty())
        return usageError("no command given (scan or check)");
    const QString command = rest.takeFirst();
    if (command == "scan")
        return scan(rest);
    if (command == "check")
        return check(rest);
    return usageError(QString("unknown command \"%1\" (scan or check)").arg(command));
}

bool Cli::parseCommand(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status)
{
    const QString command = usage.section(' ', 1, 1);
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(QStringList{QCoreApplication::applicationName() + ' ' + command} + arguments)) {
        *status = usageError(command + ": " + parser.errorText());
        return false;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        printHelp(parser, usage);
        *status = 0;
        return false;
    }
    return true;
}

int Cli::scan(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kScanDescription);
    const QCommandLineOption root("steam-root", "A Steam folder to scan instead of looking for Steam (repeatable).",
                                  "DIR");
    const QCommandLineOption dir("catalogue-dir", "The folder holding game/ (default: the working directory).", "DIR",
                                 QDir::currentPath());
    const QCommandLineOption mode("mode", "gameMode of the games added, -999 to 9999 (default 0).", "N", "0");
    const QCommandLineOption include("include", "App ids to count as VR games: one a line, # comments.", "FILE");
    const QCommandLineOption exclude("exclude", "App ids never to add, even when included: same format.", "FILE");
    const QCommandLineOption prune("prune", "Remove Steam games that are not installed any more.");
    const QCommandLineOption dryRun("dry-run", "Print what would change; write nothing, copy no picture.");
    const QCommandLineOption wait = waitOption();
    parser.addOptions({root, dir, mode, include, exclude, prune, dryRun, wait});
    int status = 0;
    if (!parseCommand(parser,
                      "nerq-catalogue scan [--steam-root DIR]... [--catalogue-dir DIR] [--mode N] [--include FILE] "
                      "[--exclude FILE] [--prune] [--dry-run] [--wait SECONDS]",
                      arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError("scan: unexpected argument " + parser.positionalArguments().first());

    ScanOptions options;
    bool ok = false;
    options.mode = parser.value(mode).toInt(&ok);
    if (!ok || options.mode < -999 || options.mode > 9999)
        return usageError("scan: --mode takes a whole number from -999 to 9999, not \"" + parser.value(mode) + '"');
    options.steamRoots = parser.values(root);
    options.catalogueDir = parser.value(dir);
    options.includeFile = parser.value(include);
    options.excludeFile = parser.value(exclude);
    options.prune = parser.isSet(prune);
    options.dryRun = parser.isSet(dryRun);
    if (!parseWait(parser, wait, &options.waitSeconds, &status))
        return status;
    return runScan(options, m_out, m_err);
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
    if (!parseCommand(parser, "nerq-catalogue check [--working-dir DIR] FILE", arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return usageError("check takes one catalogue file");
    return runCheck(parser.positionalArguments().first(), parser.value(workingDir), m_out);
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
