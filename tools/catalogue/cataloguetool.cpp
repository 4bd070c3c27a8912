#include "cataloguetool.h"

#include "addcommand.h"
#include "cataloguecommandline.h"
#include "checkcommand.h"
#include "listcommand.h"
#include "movecommand.h"
#include "removecommand.h"
#include "scancommand.h"
#include "setcommand.h"

#include <QHash>

#include <cstdio>
#include <exception>

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

int runCommand(const QStringList& arguments)
{
    CatalogueCommandLine cli;
    const QString commands = "scan, list, add, set, remove, move or check";
    QString command;
    QStringList rest;
    int status = 0;
    if (!cli.parseTool(kDescription, commands, arguments, &command, &rest, &status))
        return status;
    const QHash<QString, int (*)(CatalogueCommandLine&, const QStringList&)> handlers = {
        {"scan", &scanCommand},     {"list", &listCommand}, {"add", &addCommand},    {"set", &setCommand},
        {"remove", &removeCommand}, {"move", &moveCommand}, {"check", &checkCommand}};
    if (handlers.contains(command))
        return handlers.value(command)(cli, rest);
    return cli.usageError(QString("unknown command \"%1\" (%2)").arg(command, commands));
}

} // namespace

int runCatalogueTool(const QStringList& arguments)
{
    // Whatever a library throws on some input ends as a message and a failure, never as an abort.
    try {
        return runCommand(arguments);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nerq-catalogue: stopped, nothing more written: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "nerq-catalogue: stopped on an unknown error, nothing more written\n");
    }
    return 1;
}
