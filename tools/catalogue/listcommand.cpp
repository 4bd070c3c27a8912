#include "listcommand.h"

#include "cataloguecommandline.h"
#include "catalogueedit.h"
#include "gameitem.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <vector>

using namespace CatalogueEdit;

namespace {

const char kDescription[] =
    "Lists the games in the page's order, which is game/data_en.json's; games that only\n"
    "game/data_cn.json lists follow, marked. Each line: position (from 1), gameId, the English and\n"
    "Chinese names, native with its launcher or Steam with its app id, gameMode, and whether the\n"
    "picture the page loads (imgPath from <catalogue-dir>/res/) is there and decodes. Only reads:\n"
    "it takes no lock and works on a folder it may not write. Exit status: 0, or 1 when there is\n"
    "no catalogue or one that the program would not load whole.";

// One game as the page shows it: the English entry where there is one, and its Chinese name.
struct Row {
    int position = 0; // 0: listed by the Chinese catalogue only
    const GameItem* game = nullptr;
    QString nameCn;
    QString onlyIn;
    QString picture;
};

std::vector<Row> rows(const CatalogueStore& store)
{
    const Catalogue& english = store.catalogue(CatalogueStore::English);
    const Catalogue& chinese = store.catalogue(CatalogueStore::Chinese);
    const QDir dir(store.folder());
    std::vector<Row> rows;
    std::vector<bool> matched(static_cast<std::size_t>(chinese.size()), false);
    for (int i = 0; i < english.size(); ++i) {
        const GameItem* game = english.game(i);
        const int other = find(chinese, game->gameId());
        Row row{i + 1, game, QString(), QString(), pictureState(game->imgPath(), dir)};
        if (other >= 0) {
            matched[static_cast<std::size_t>(other)] = true;
            row.nameCn = chinese.game(other)->gameName();
        } else {
            row.onlyIn = CatalogueStore::fileName(CatalogueStore::English);
        }
        rows.push_back(row);
    }
    for (int i = 0; i < chinese.size(); ++i) {
        const GameItem* game = chinese.game(i);
        if (!matched[static_cast<std::size_t>(i)])
            rows.push_back({0, game, game->gameName(), CatalogueStore::fileName(CatalogueStore::Chinese),
                            pictureState(game->imgPath(), dir)});
    }
    return rows;
}

QStringList columns(const Row& row)
{
    const GameItem* game = row.game;
    const QString name = row.position == 0 ? "- / " + row.nameCn : game->gameName() + " / " + row.nameCn;
    return {row.position ? QString::number(row.position) : QStringLiteral("-"),
            game->gameId(),
            name,
            game->isNative() ? "native " + game->launcherPath() : QString("Steam %1").arg(game->steamGameId()),
            QString::number(game->gameMode()),
            row.picture + (row.onlyIn.isEmpty() ? QString() : "  (only in " + row.onlyIn + ')')};
}

// Columns as a terminal shows them: Chinese characters take two cells.
int cells(const QString& text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2e80 && c.unicode() < 0xfe00 ? 2 : c.isLowSurrogate() ? 0 : 1;
    return width;
}

void printTable(const std::vector<Row>& rows, QTextStream& out)
{
    std::vector<QStringList> table{{"#", "gameId", "name (English / Chinese)", "started as", "mode", "picture"}};
    for (const Row& row : rows)
        table.push_back(columns(row));
    std::vector<int> widths(table.front().size(), 0);
    for (const QStringList& line : table) {
        for (int c = 0; c < line.size(); ++c)
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)], cells(line[c]));
    }
    for (const QStringList& line : table) {
        QString text;
        for (int c = 0; c < line.size(); ++c)
            text += c + 1 < line.size()
                        ? line[c] + QString(widths[static_cast<std::size_t>(c)] + 2 - cells(line[c]), ' ')
                        : line[c];
        out << text << '\n';
    }
}

void printJson(const std::vector<Row>& rows, QTextStream& out)
{
    QJsonArray games;
    for (const Row& row : rows) {
        const GameItem* game = row.game;
        QJsonObject object{{"position", row.position ? QJsonValue(row.position) : QJsonValue()},
                           {"gameId", game->gameId()},
                           {"name", row.position ? QJsonValue(game->gameName()) : QJsonValue()},
                           {"nameCn", row.onlyIn == CatalogueStore::fileName(CatalogueStore::English)
                                          ? QJsonValue()
                                          : QJsonValue(row.nameCn)},
                           {"native", game->isNative()},
                           {"steamGameId", game->steamGameId()},
                           {"launcherPath", game->launcherPath()},
                           {"gameMode", game->gameMode()},
                           {"picture", row.picture}};
        if (!row.onlyIn.isEmpty())
            object.insert("onlyIn", row.onlyIn);
        games.append(object);
    }
    out << QJsonDocument(games).toJson(QJsonDocument::Indented);
}

} // namespace

int runList(const QString& catalogueDir, bool json, QTextStream& out, QTextStream& err)
{
    CatalogueStore store(catalogueDir);
    QString error;
    if (!store.read(&error)) {
        err << "nerq-catalogue: " << error << '\n';
        return 1;
    }
    if (!store.existed(CatalogueStore::English) && !store.existed(CatalogueStore::Chinese)) {
        err << "nerq-catalogue: no catalogue in " << store.folder() << "/game (neither "
            << CatalogueStore::fileName(CatalogueStore::English) << " nor "
            << CatalogueStore::fileName(CatalogueStore::Chinese) << ")\n";
        return 1;
    }
    // Warnings go to the error stream, so that the JSON stays whole for scripts.
    for (const QString& difference : store.differences())
        err << "warning: the two catalogues differ: " << difference << '\n';
    const std::vector<Row> games = rows(store);
    if (json)
        printJson(games, out);
    else
        printTable(games, out);
    return 0;
}

int listCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption dir = CatalogueCommandLine::dirOption();
    const QCommandLineOption json("json", "One JSON array of the games, for scripts.");
    parser.addOptions({dir, json});
    int status = 0;
    if (!cli.parse(parser, "nerq-catalogue list [--catalogue-dir DIR] [--json]", arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli.usageError("list: unexpected argument " + parser.positionalArguments().first());
    return runList(parser.value(dir), parser.isSet(json), cli.out(), cli.err());
}
