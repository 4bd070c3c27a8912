#include "addcommand.h"

#include "cataloguecommandline.h"
#include "catalogueedit.h"
#include "gameitem.h"

#include <json/value.h>

#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>
#include <climits>

using namespace CatalogueEdit;

namespace {

const char kDescription[] =
    "Adds a native game started by --launcher (a file that must exist; stored as ./path when it\n"
    "lies in the catalogue folder, the program's working directory, else by its full path) or a\n"
    "Steam game (--steam-id, not listed yet) to both catalogues, at --position (from 1; default\n"
    "the end). --image is checked like the scan's pictures and copied to game/images/<gameId>.<ext>.\n"
    "The gameId, unless --id names a free one, is made from the name: lower case letters and\n"
    "digits, other characters as \"_\", made unique with \"_2\"...";

// The entry listing Steam app `steamId` in either catalogue, or empty.
QString listing(const CatalogueStore& store, int steamId)
{
    for (Language language : CatalogueStore::kLanguages) {
        const Catalogue& catalogue = store.catalogue(language);
        for (int i = 0; i < catalogue.size(); ++i) {
            if (catalogue.game(i)->steamGameId() == steamId)
                return QString("\"%1\" in %2").arg(catalogue.game(i)->gameId(), CatalogueStore::fileName(language));
        }
    }
    return {};
}

Json::Value entry(const AddOptions& options, const QString& gameId, Language language, const QString& imgPath,
                  const QString& launcher)
{
    const bool chinese = language == CatalogueStore::Chinese && !options.nameCn.isEmpty();
    return Catalogue::newEntry(gameId, chinese ? options.nameCn : options.name, imgPath, options.steamId == 0, launcher,
                               options.steamId, options.mode);
}

} // namespace

int runAdd(const AddOptions& options, QTextStream& out, QTextStream& err)
{
    Session session(options.catalogueDir, out, err);
    if (!session.open(options.waitSeconds))
        return 1;
    CatalogueStore& store = session.store();
    QString launcher;
    if (options.steamId == 0 && !session.launcher(options.launcher, &launcher))
        return 1;
    const QString listed = options.steamId > 0 ? listing(store, options.steamId) : QString();
    if (!listed.isEmpty())
        return session.fail(
            QString("Steam game %1 is already listed as %2; nothing changed").arg(options.steamId).arg(listed));
    for (Language language : CatalogueStore::kLanguages) {
        if (!options.gameId.isEmpty() && find(store.catalogue(language), options.gameId) >= 0)
            return session.fail(QString("gameId \"%1\" is taken in %2; nothing changed")
                                    .arg(options.gameId, CatalogueStore::fileName(language)));
    }
    const int size = static_cast<int>(store.catalogue(CatalogueStore::English).entries().size());
    if (options.position > size + 1)
        return session.fail(QString("--position %1 is past the end: the page lists %2 games; nothing changed")
                                .arg(options.position)
                                .arg(size));
    const QString gameId = store.claimGameId(options.gameId.isEmpty() ? idFromName(options.name) : options.gameId);
    QString imgPath;
    if (!options.image.isEmpty() && !session.importPicture(options.image, gameId, &imgPath))
        return 1;
    const int index = options.position > 0 ? options.position - 1 : size;
    for (Language language : CatalogueStore::kLanguages) {
        Json::Value& entries = store.catalogue(language).entries();
        const auto at = static_cast<Json::ArrayIndex>(std::min(index, static_cast<int>(entries.size())));
        entries.insert(at, entry(options, gameId, language, imgPath, launcher));
    }
    // The program's reload adds new games behind those it shows; their place counts from its next start.
    const QString when =
        index == size ? shownAtReload()
                      : shownAtReload() + QString(", at the end; at position %1 from its next start").arg(index + 1);
    return session.finish(QString("added \"%1\" at position %2 to").arg(gameId).arg(index + 1), when);
}

int addCommand(CatalogueCommandLine& cli, const QStringList& arguments)
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
    if (!cli.parseEdit(parser, kDescription, {launcher, steamId, name, nameCn, mode, image, id, position},
                       "nerq-catalogue add [--catalogue-dir DIR] (--launcher PATH | --steam-id N) --name NAME "
                       "[--name-cn NAME] [--mode N] [--image FILE] [--id ID] [--position N] [--wait SECONDS]",
                       arguments, &options.waitSeconds, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli.usageError("add: unexpected argument " + parser.positionalArguments().first());
    if (parser.isSet(launcher) == parser.isSet(steamId))
        return cli.usageError("add takes either --launcher PATH (a native game) or --steam-id N (a Steam game)");
    if (parser.value(name).isEmpty() || (parser.isSet(id) && parser.value(id).isEmpty()))
        return cli.usageError("add needs a --name, and an --id when given that is not empty");
    if (!cli.number(parser, "mode", -999, 9999, &options.mode, &status)
        || (parser.isSet(steamId) && !cli.number(parser, "steam-id", 1, INT_MAX, &options.steamId, &status))
        || (parser.isSet(position) && !cli.number(parser, "position", 1, INT_MAX, &options.position, &status)))
        return status;
    options.catalogueDir = CatalogueCommandLine::catalogueDir(parser);
    options.launcher = parser.value(launcher);
    options.name = parser.value(name);
    options.nameCn = parser.value(nameCn);
    options.image = parser.value(image);
    options.gameId = parser.value(id);
    return runAdd(options, cli.out(), cli.err());
}
