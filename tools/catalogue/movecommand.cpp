#include "movecommand.h"

#include "cataloguecommandline.h"
#include "catalogueedit.h"

#include <json/value.h>

#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>
#include <climits>

using namespace CatalogueEdit;

namespace {

const char kDescription[] = "Moves a game to position --to (from 1, the first tile) in both catalogues.";

} // namespace

int runMove(const QString& catalogueDir, const QString& gameId, int position, int waitSeconds, QTextStream& out,
            QTextStream& err)
{
    Session session(catalogueDir, out, err);
    std::array<int, 2> at{};
    if (!session.open(waitSeconds) || !session.locate(gameId, &at))
        return 1;
    // Positions are the page's: the English catalogue's order, unless the game is Chinese only.
    const Language page = at[CatalogueStore::English] >= 0 ? CatalogueStore::English : CatalogueStore::Chinese;
    const int size = static_cast<int>(session.store().catalogue(page).entries().size());
    if (position > size)
        return session.fail(
            QString("--to %1 is past the end: the page lists %2 games; nothing changed").arg(position).arg(size));
    if (at[page] == position - 1 && (at[1 - page] < 0 || at[1 - page] == position - 1)) {
        out << QString("\"%1\" is at position %2 already; nothing written\n").arg(gameId).arg(position);
        return 0;
    }
    for (Language language : CatalogueStore::kLanguages) {
        if (at[language] < 0)
            continue;
        Json::Value& entries = session.store().catalogue(language).entries();
        Json::Value entry;
        entries.removeIndex(static_cast<Json::ArrayIndex>(at[language]), &entry);
        const auto to = static_cast<Json::ArrayIndex>(std::min(position - 1, static_cast<int>(entries.size())));
        entries.insert(to, std::move(entry));
    }
    return session.finish(QString("moved \"%1\" to position %2 in").arg(gameId).arg(position), shownAtStart());
}

int moveCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID", "The game's gameId.");
    const QCommandLineOption to("to", "Its new position, from 1 (the first tile).", "N");
    int wait = 0;
    int status = 0;
    if (!cli.parseEdit(parser, kDescription, {to},
                       "nerq-catalogue move [--catalogue-dir DIR] ID --to N [--wait SECONDS]", arguments, &wait,
                       &status))
        return status;
    if (parser.positionalArguments().size() != 1 || !parser.isSet(to))
        return cli.usageError("move takes one game id and --to N");
    int position = 0;
    if (!cli.number(parser, "to", 1, INT_MAX, &position, &status))
        return status;
    return runMove(CatalogueCommandLine::catalogueDir(parser), parser.positionalArguments().first(), position, wait,
                   cli.out(), cli.err());
}
