#include "checkcommand.h"

#include "catalogue.h"
#include "cataloguecommandline.h"
#include "catalogueedit.h"
#include "gameitem.h"
#include "picture.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

const char kDescription[] =
    "Reads a catalogue with the program's own code and reports every entry it would skip or drop\n"
    "(entries counted from 0), or why it would refuse the whole file, and warns about pictures and\n"
    "native launchers that do not exist. Exit status 0 when every entry loads, else 1.";

using Picture::isUrl;
using Picture::pageFile;

QString entryName(int index, const QString& gameId)
{
    return gameId.isEmpty() ? QString("entry %1").arg(index)
                            : QString("entry %1 (gameId \"%2\")").arg(index).arg(gameId);
}

QString count(int n, const char* one, const char* many)
{
    return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
}

} // namespace

int runCheck(const QString& file, const QString& workingDir, QTextStream& out)
{
    Catalogue catalogue;
    catalogue.readFile(file);
    for (const CatalogueProblem& problem : catalogue.problems()) {
        out << file << ": ";
        if (problem.index >= 0)
            out << entryName(problem.index, problem.gameId) << ": ";
        out << problem.message << '\n';
    }

    const QDir dir(workingDir);
    int warnings = 0;
    for (int i = 0; i < catalogue.size(); ++i) {
        const GameItem* game = catalogue.game(i);
        if (!game)
            continue;
        const QString where = file + ": warning: " + entryName(i, game->gameId()) + ": ";
        const QString picture = game->imgPath().isEmpty() ? QString() : pageFile(game->imgPath(), dir);
        const QString problem = picture.isEmpty() ? QString() : Picture::fileProblem(picture);
        if (!problem.isEmpty()) {
            out << where << "picture \"" << game->imgPath() << "\" "
                << (problem == "missing" ? QStringLiteral("not found") : "is " + problem) << " (looked for " << picture
                << "); the tile shows no picture\n";
            ++warnings;
        }
        if (!game->isNative())
            continue;
        const QString launcher = game->launcherPath();
        if (launcher.isEmpty()) {
            out << where << "native game without a launcherPath; clicking it starts nothing\n";
            ++warnings;
        } else if (!isUrl(launcher) && !QFileInfo(dir.filePath(launcher)).exists()) {
            out << where << "launcher \"" << launcher << "\" not found (looked for "
                << QDir::cleanPath(dir.filePath(launcher)) << "); clicking it starts nothing\n";
            ++warnings;
        }
    }

    const int loaded = catalogue.refused() ? 0 : catalogue.size() - static_cast<int>(catalogue.problems().size());
    if (catalogue.refused())
        out << file << ": refused: the program loads no game from it";
    else
        out << file << ": " << count(catalogue.size(), "entry", "entries") << ", " << loaded << " loaded, "
            << catalogue.size() - loaded << " skipped or dropped";
    out << ", " << count(warnings, "warning", "warnings") << '\n';
    return catalogue.problems().empty() ? 0 : 1;
}

int checkCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("FILE", "The catalogue, e.g. game/data_en.json.");
    const QCommandLineOption workingDir("working-dir",
                                        "The program's working directory, from which pictures (through res/) and "
                                        "native launchers are found (default: the current one).",
                                        "DIR", QDir::currentPath());
    parser.addOption(workingDir);
    int status = 0;
    if (!cli.parse(parser, "nerq-catalogue check [--working-dir DIR] FILE", arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("check takes one catalogue file");
    return runCheck(parser.positionalArguments().first(), parser.value(workingDir), cli.out());
}
