#include "addcommand.h"

#include "catalogueedit.h"
#include "gameitem.h"

#include <json/value.h>

#include <QTextStream>

#include <algorithm>

using namespace CatalogueEdit;

namespace {

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
