#include "scancommand.h"

#include "cataloguecommandline.h"
#include "steamscan.h"

#include <QCommandLineParser>

namespace {

const char kDescription[] =
    "Finds Steam (or takes --steam-root), reads every library's app manifests and adds the fully\n"
    "installed VR games that Steam's VR manifest lists to game/data_en.json and game/data_cn.json.\n"
    "Entries already listed keep every value they have; only empty ones are filled in. New games\n"
    "go at the end, with their picture copied from Steam's cache to game/images/steam_<id>.<ext>.\n"
    "Games no longer installed are reported and kept. A catalogue that the program would not load\n"
    "whole is left unchanged. Each written catalogue's previous version is kept as <name>.bak.\n"
    "SteamVR and its tools (apps 250820, 323910, 719950) are not games unless --include lists them.";

} // namespace

int scanCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption root("steam-root", "A Steam folder to scan instead of looking for Steam (repeatable).",
                                  "DIR");
    const QCommandLineOption dir = CatalogueCommandLine::dirOption();
    const QCommandLineOption mode("mode", "gameMode of the games added, -999 to 9999 (default 0).", "N", "0");
    const QCommandLineOption include("include", "App ids to count as VR games: one a line, # comments.", "FILE");
    const QCommandLineOption exclude("exclude", "App ids never to add, even when included: same format.", "FILE");
    const QCommandLineOption prune("prune", "Remove Steam games that are not installed any more.");
    const QCommandLineOption dryRun("dry-run", "Print what would change; write nothing, copy no picture.");
    const QCommandLineOption wait = CatalogueCommandLine::waitOption();
    parser.addOptions({root, dir, mode, include, exclude, prune, dryRun, wait});
    int status = 0;
    if (!cli.parse(parser,
                   "nerq-catalogue scan [--steam-root DIR]... [--catalogue-dir DIR] [--mode N] [--include FILE] "
                   "[--exclude FILE] [--prune] [--dry-run] [--wait SECONDS]",
                   arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli.usageError("scan: unexpected argument " + parser.positionalArguments().first());

    ScanOptions options;
    if (!cli.number(parser, "mode", -999, 9999, &options.mode, &status))
        return status;
    options.steamRoots = parser.values(root);
    options.catalogueDir = parser.value(dir);
    options.includeFile = parser.value(include);
    options.excludeFile = parser.value(exclude);
    options.prune = parser.isSet(prune);
    options.dryRun = parser.isSet(dryRun);
    if (!cli.number(parser, "wait", 0, 3600, &options.waitSeconds, &status))
        return status;
    return runScan(options, cli.out(), cli.err());
}
