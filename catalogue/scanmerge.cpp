#include "scanmerge.h"

#include "gameitem.h"
#include "scanpictures.h"
#include "steamlibrary.h"

#include <json/value.h>

ScanMerge::ScanMerge(CatalogueStore& store, ScanPictures& pictures, int mode)
    : m_store(store)
    , m_pictures(pictures)
    , m_mode(mode)
{
    for (Language language : CatalogueStore::kLanguages) {
        const Catalogue& catalogue = m_store.catalogue(language);
        Listing& listing = m_listings[language];
        // A Steam entry is the one to fill in; a native entry with the id still counts as listed.
        for (int i = catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = catalogue.game(i);
            listing.gameIds.insert(game->gameId());
            m_pictures.markUsed(game->imgPath());
            const int appId = game->steamGameId();
            const auto listed = listing.bySteamId.constFind(appId);
            if (appId > 0
                && (listed == listing.bySteamId.cend() || !game->isNative() || catalogue.game(*listed)->isNative()))
                listing.bySteamId.insert(appId, i);
        }
    }
}

bool ScanMerge::listedAnywhere(int appId) const
{
    return bySteamId(Language::English).contains(appId) || bySteamId(Language::Chinese).contains(appId);
}

QString ScanMerge::merge(const SteamApp& app, const SteamVrListing& listing, bool* added)
{
    QString englishName = app.name.isEmpty() ? listing.englishName : app.name;
    if (englishName.isEmpty())
        englishName = QString("Steam app %1").arg(app.appId);
    const QString chineseName = listing.chineseName.isEmpty() ? englishName : listing.chineseName;
    auto nameIn = [&](Language language) { return language == Language::Chinese ? chineseName : englishName; };

    const bool inEnglish = bySteamId(Language::English).contains(app.appId);
    const bool inChinese = bySteamId(Language::Chinese).contains(app.appId);
    *added = !inEnglish && !inChinese;
    if (*added)
        return addGame(app, englishName, chineseName);
    QString verdict = QStringLiteral("VR game, already listed");
    if (inEnglish != inChinese) {
        // Listed by one language only: the other gets the same entry, so both pages show it.
        const Language from = inEnglish ? Language::English : Language::Chinese;
        const Language to = inEnglish ? Language::Chinese : Language::English;
        addToOtherLanguage(app, from, to, nameIn(to));
        verdict = QString("VR game, listed in %1, added to %2")
                      .arg(CatalogueStore::fileName(from), CatalogueStore::fileName(to));
    }
    QStringList filled;
    QString pictures;
    for (Language language : CatalogueStore::kLanguages) {
        const QString note = fillGame(app, language, nameIn(language), &filled);
        if (!note.isEmpty() && !pictures.contains(note))
            pictures += note;
    }
    if (!filled.isEmpty())
        verdict += "; filled " + filled.join("; ");
    return verdict + (pictures.isEmpty() ? QStringLiteral("; picture as listed") : pictures);
}

QString ScanMerge::addGame(const SteamApp& app, const QString& englishName, const QString& chineseName)
{
    // One id for both languages, free in both; the picture is named after it.
    const QString gameId = m_store.claimGameId(QString("steam_%1").arg(app.appId));
    QString note;
    const QString imgPath = m_pictures.copy(app.appId, gameId, QString(), &note);
    for (Language language : CatalogueStore::kLanguages) {
        Listing& listing = m_listings[language];
        const QString& name = language == Language::Chinese ? chineseName : englishName;
        m_store.catalogue(language).entries().append(
            Catalogue::newEntry(gameId, name, imgPath, false, QString(), app.appId, m_mode));
        listing.gameIds.insert(gameId);
        ++listing.added;
    }
    const QString as = gameId == QString("steam_%1").arg(app.appId) ? QString() : " as " + gameId;
    return "VR game, added" + as + note;
}

void ScanMerge::addToOtherLanguage(const SteamApp& app, Language from, Language to, const QString& name)
{
    const Json::Value& source = m_store.catalogue(from).entries()[m_listings[from].bySteamId.value(app.appId)];
    Json::Value entry = source;
    QString gameId = QString::fromStdString(source["gameId"].asString());
    Listing& listing = m_listings[to];
    if (listing.gameIds.contains(gameId))
        gameId = m_store.claimGameId(gameId);
    entry["gameId"] = gameId.toStdString();
    if (!source.get("isNative", false).asBool())
        entry["gameName"] = name.toStdString();
    m_store.catalogue(to).entries().append(entry);
    listing.gameIds.insert(gameId);
    ++listing.added;
}

// Fills what an entry listed before leaves empty, and replaces a picture that an earlier scan
// copied when it is no picture (empty or broken). Whatever the operator wrote stays.
QString ScanMerge::fillGame(const SteamApp& app, Language language, const QString& name, QStringList* filled)
{
    Listing& listing = m_listings[language];
    const int listed = listing.bySteamId.value(app.appId, -1);
    const GameItem* game = m_store.catalogue(language).game(listed);
    // A native entry naming the Steam id is the operator's own way of starting it: left alone.
    if (!game || game->isNative())
        return {};
    Json::Value& entry = m_store.catalogue(language).entries()[listed];
    QStringList keys;
    if (game->gameName().isEmpty()) {
        entry["gameName"] = name.toStdString();
        keys << "gameName";
    }
    QString note;
    const QString imgPath = game->imgPath();
    QString copy;
    const QString problem = m_pictures.brokenCopy(imgPath, game->gameId(), app.appId, &copy);
    if (imgPath.isEmpty() || !problem.isEmpty()) {
        const QString replaced =
            m_pictures.copy(app.appId, game->gameId(), problem.isEmpty() ? QString() : copy, &note);
        if (!replaced.isEmpty() && replaced != imgPath) {
            entry["imgPath"] = replaced.toStdString();
            keys << "imgPath";
        }
        if (!problem.isEmpty())
            note = QString("; picture %1 was %2%3").arg(copy, problem, note.isEmpty() ? "; no other" : note);
    }
    if (!entry.isMember("gameMode")) {
        entry["gameMode"] = modeOf(app.appId);
        keys << "gameMode";
    }
    if (!keys.isEmpty()) {
        ++listing.filled;
        *filled << QString("%1 in %2").arg(keys.join(", "), CatalogueStore::fileName(language));
    }
    return note;
}

// The mode to fill in where an entry has none: the other language's, so that both agree, or --mode.
int ScanMerge::modeOf(int appId) const
{
    for (Language language : CatalogueStore::kLanguages) {
        const int listed = m_listings[language].bySteamId.value(appId, -1);
        if (listed < 0)
            continue;
        // Read from the entry as it is now: the other language may have been filled in already.
        const Json::Value& entry = m_store.catalogue(language).entries()[listed];
        if (entry.isMember("gameMode"))
            return entry["gameMode"].asInt();
    }
    return m_mode;
}

void ScanMerge::prune(const QSet<int>& appIds)
{
    for (Language language : CatalogueStore::kLanguages) {
        Catalogue& catalogue = m_store.catalogue(language);
        // Every entry of a pruned game goes, the last first so that the indices stay valid.
        for (int i = catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = catalogue.game(i);
            if (!game->isNative() && appIds.contains(game->steamGameId())) {
                Json::Value removed;
                catalogue.entries().removeIndex(static_cast<Json::ArrayIndex>(i), &removed);
                ++m_listings[language].pruned;
            }
        }
    }
}

QString ScanMerge::changes(Language language) const
{
    const Listing& listing = m_listings[language];
    return QString("%1 added, %2 filled in, %3 removed").arg(listing.added).arg(listing.filled).arg(listing.pruned);
}
