#include "steamscan.h"

#include "appidlist.h"
#include "cataloguestore.h"
#include "fileplatform.h"
#include "gameitem.h"
#include "picture.h"
#include "steamartwork.h"
#include "steamlibrary.h"
#include "steamlocator.h"
#include "venuecatalogue.h"
#include "venuescan.h"

#include <json/value.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace {

using Language = CatalogueStore::Language;

// Steam's VR manifest lists these beside the games: SteamVR itself, the SteamVR Performance Test
// and Windows Mixed Reality for SteamVR.
const QSet<int> kVrTools = {250820, 323910, 719950};

using Picture::kImagePrefix;

// What the scan knows of one catalogue: which entry lists which Steam app, and what it changed.
struct Listing {
    QHash<int, int> bySteamId; // app id to the entry that lists it
    QSet<QString> gameIds;
    int added = 0;
    int filled = 0;
    int pruned = 0;
};

// The picture chosen for an app from Steam's cache: checked, read and ready to copy.
struct Choice {
    QString source;
    QByteArray data;
    QString suffix;
    QStringList passedOver; // "<file>: <why>" for each better candidate that could not be used
};

class Scan
{
public:
    Scan(const ScanOptions& options, QTextStream& out, QTextStream& err)
        : m_options(options)
        , m_out(out)
        , m_err(err)
        , m_store(options.catalogueDir)
    {}

    int run();

private:
    int fail(const QString& message)
    {
        m_err << "nerq-catalogue: " << message << '\n';
        return 1;
    }
    bool loadLists(QString* error);
    void index();
    QString classify(const SteamApp& app) const;
    QString mergeGame(const SteamApp& app);
    QString addGame(const SteamApp& app, const QString& englishName, const QString& chineseName);
    void addToOtherLanguage(const SteamApp& app, Language from, Language to, const QString& name);
    QString fillGame(const SteamApp& app, Language language, const QString& name, QStringList* filled);
    int modeOf(int appId) const;
    const Choice& choose(int appId);
    QString copyPicture(int appId, const QString& gameId, const QString& replacing, QString* note);
    void reportMissing();
    bool write();

    const ScanOptions& m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    CatalogueStore m_store;
    AppIdList m_include;
    AppIdList m_exclude;
    std::unique_ptr<SteamLibrary> m_steam;
    std::unique_ptr<SteamArtwork> m_artwork;
    Listing m_listings[2];
    QSet<QString> m_usedImages; // every imgPath of either catalogue
    QHash<int, Choice> m_choices;
    QHash<QString, QString> m_copies; // gameId to the imgPath of its copy: one for both languages
    QSet<int> m_installed;
    int m_vrGames = 0;
    int m_added = 0;
    int m_present = 0;
    int m_missing = 0;
};

int Scan::run()
{
    QString error;
    if (!loadLists(&error)) {
        m_err << "nerq-catalogue: " << error << '\n';
        return 2;
    }
    for (const QString& given : m_options.steamRoots) {
        if (SteamLocator::resolve({given}).isEmpty())
            return fail(given + " is not a Steam folder (it has no steamapps folder)");
    }
    const QStringList searched = m_options.steamRoots.isEmpty() ? SteamLocator::candidates() : m_options.steamRoots;
    const QStringList roots = SteamLocator::resolve(searched);
    if (roots.isEmpty())
        return fail("no Steam installation found; looked in " + searched.join(", "));

    // Steam is read before the lock is taken: a slow drive must not keep other writers waiting.
    m_steam = std::make_unique<SteamLibrary>(roots);
    m_artwork = std::make_unique<SteamArtwork>(roots);
    if ((!m_options.dryRun && !m_store.lock(m_options.waitSeconds, &error)) || !m_store.read(&error))
        return fail(error);
    index();

    m_out << "Steam: " << roots.join(", ") << '\n';
    for (const QString& problem : m_steam->problems())
        m_out << "warning: " << problem << '\n';
    for (const QString& difference : m_store.differences())
        m_out << "warning: the two catalogues differ: " << difference << '\n';
    for (const SteamApp& app : m_steam->apps()) {
        if (app.installed)
            m_installed.insert(app.appId);
        QString verdict = classify(app);
        if (verdict.isEmpty()) {
            ++m_vrGames;
            verdict = mergeGame(app);
        }
        m_out << QString("%1 %2: %3\n").arg(app.appId, -8).arg(app.name, verdict);
    }
    reportMissing();
    if (!write())
        return 1;
    m_out << QString("%1 libraries, %2 installed apps, %3 VR games: %4 added, %5 already present, %6 not "
                     "installed any more\n")
                 .arg(m_steam->libraries().size())
                 .arg(m_installed.size())
                 .arg(m_vrGames)
                 .arg(m_added)
                 .arg(m_present)
                 .arg(m_missing);
    return 0;
}

bool Scan::loadLists(QString* error)
{
    return (m_options.includeFile.isEmpty() || m_include.load(m_options.includeFile, error))
           && (m_options.excludeFile.isEmpty() || m_exclude.load(m_options.excludeFile, error));
}

void Scan::index()
{
    for (Language language : CatalogueStore::kLanguages) {
        const Catalogue& catalogue = m_store.catalogue(language);
        Listing& listing = m_listings[language];
        // A Steam entry is the one to fill in; a native entry with the id still counts as listed.
        for (int i = catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = catalogue.game(i);
            listing.gameIds.insert(game->gameId());
            m_usedImages.insert(game->imgPath());
            const int appId = game->steamGameId();
            const auto listed = listing.bySteamId.constFind(appId);
            if (appId > 0
                && (listed == listing.bySteamId.cend() || !game->isNative() || catalogue.game(*listed)->isNative()))
                listing.bySteamId.insert(appId, i);
        }
    }
}

// Why an app is not a VR game for the catalogue, or empty when it is one.
QString Scan::classify(const SteamApp& app) const
{
    if (!app.installed) {
        const bool listed = m_listings[Language::English].bySteamId.contains(app.appId)
                            || m_listings[Language::Chinese].bySteamId.contains(app.appId);
        const QString state = app.hasStateFlags ? QString("not fully installed (StateFlags %1)").arg(app.stateFlags)
                                                : QStringLiteral("no StateFlags in its app manifest");
        return state + (listed ? QStringLiteral("; listed, kept") : QStringLiteral(", skipped"));
    }
    if (m_exclude.contains(app.appId))
        return "excluded by --exclude";
    if (m_include.contains(app.appId))
        return {};
    if (kVrTools.contains(app.appId))
        return "a VR tool, not a game, skipped";
    if (m_steam->vrListings().contains(app.appId))
        return {};
    return "not a VR game, skipped";
}

QString Scan::mergeGame(const SteamApp& app)
{
    const SteamVrListing listing = m_steam->vrListings().value(app.appId);
    QString englishName = app.name.isEmpty() ? listing.englishName : app.name;
    if (englishName.isEmpty())
        englishName = QString("Steam app %1").arg(app.appId);
    const QString chineseName = listing.chineseName.isEmpty() ? englishName : listing.chineseName;
    auto nameIn = [&](Language language) { return language == Language::Chinese ? chineseName : englishName; };

    const bool inEnglish = m_listings[Language::English].bySteamId.contains(app.appId);
    const bool inChinese = m_listings[Language::Chinese].bySteamId.contains(app.appId);
    if (!inEnglish && !inChinese) {
        ++m_added;
        return addGame(app, englishName, chineseName);
    }
    ++m_present;
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

QString Scan::addGame(const SteamApp& app, const QString& englishName, const QString& chineseName)
{
    // One id for both languages, free in both; the picture is named after it.
    const QString gameId = m_store.claimGameId(QString("steam_%1").arg(app.appId));
    QString note;
    const QString imgPath = copyPicture(app.appId, gameId, QString(), &note);
    for (Language language : CatalogueStore::kLanguages) {
        Listing& listing = m_listings[language];
        const QString& name = language == Language::Chinese ? chineseName : englishName;
        m_store.catalogue(language).entries().append(
            Catalogue::newEntry(gameId, name, imgPath, false, QString(), app.appId, m_options.mode));
        listing.gameIds.insert(gameId);
        ++listing.added;
    }
    const QString as = gameId == QString("steam_%1").arg(app.appId) ? QString() : " as " + gameId;
    return "VR game, added" + as + note;
}

void Scan::addToOtherLanguage(const SteamApp& app, Language from, Language to, const QString& name)
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
QString Scan::fillGame(const SteamApp& app, Language language, const QString& name, QStringList* filled)
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
    const QString copy = Picture::copyName(imgPath);
    const QString base = QFileInfo(copy).completeBaseName();
    const bool scanCopy = !copy.isEmpty() && (base == game->gameId() || base == QString("steam_%1").arg(app.appId));
    QString problem;
    if (scanCopy)
        problem = Picture::fileProblem(QDir(m_store.imagesFolder()).filePath(copy), Picture::Check::Header);
    if (imgPath.isEmpty() || !problem.isEmpty()) {
        const QString replaced = copyPicture(app.appId, game->gameId(), problem.isEmpty() ? QString() : copy, &note);
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
int Scan::modeOf(int appId) const
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
    return m_options.mode;
}

// The app's best picture in Steam's cache that really is one. Chosen once per app.
const Choice& Scan::choose(int appId)
{
    const auto found = m_choices.constFind(appId);
    if (found != m_choices.cend())
        return *found;
    Choice& choice = m_choices[appId];
    for (const QString& candidate : m_artwork->candidates(appId)) {
        QString problem = Picture::load(candidate, m_artwork->trees(), &choice.data, &choice.suffix);
        if (problem.isEmpty() && !FilePlatform::ownerOfMayRead(m_store.folder(), candidate))
            problem = "not readable by the owner of " + m_store.folder();
        if (problem.isEmpty()) {
            choice.source = candidate;
            break;
        }
        choice.data.clear();
        choice.passedOver << candidate + ": " + problem;
    }
    return choice;
}

// Copies the app's picture to game/images/<gameId>.<ext> and returns its imgPath, or empty when
// there is none. A file already there that another entry shows is left alone; one that no
// entry shows is kept when it is a picture (an operator may have put it there for this game).
QString Scan::copyPicture(int appId, const QString& gameId, const QString& replacing, QString* note)
{
    const auto copied = m_copies.constFind(gameId);
    if (copied != m_copies.cend())
        return *copied;
    const Choice& choice = choose(appId);
    for (const QString& passed : choice.passedOver)
        *note += "; passed over " + passed;
    if (choice.source.isEmpty()) {
        *note += "; no picture";
        return {};
    }
    const QDir images(m_store.imagesFolder());
    QString name = gameId + '.' + choice.suffix;
    for (int n = 2; name != replacing && m_usedImages.contains(kImagePrefix + name); ++n)
        name = QString("%1_%2.%3").arg(gameId).arg(n).arg(choice.suffix);
    const QString imgPath = kImagePrefix + name;
    m_usedImages.insert(imgPath);
    const QString target = images.filePath(name);
    if (name != replacing && Picture::fileProblem(target, Picture::Check::Header).isEmpty()) {
        *note += "; picture already in " + target + ", kept";
        return m_copies[gameId] = imgPath;
    }
    *note += "; picture " + choice.source;
    if (m_options.dryRun)
        return m_copies[gameId] = imgPath;
    QString error;
    if (Picture::save(target, choice.data, false, &error))
        return m_copies[gameId] = imgPath;
    *note += " could not be copied: " + error;
    m_usedImages.remove(imgPath);
    return {};
}

void Scan::reportMissing()
{
    // Steam games the catalogues list but no library has a manifest of: kept unless --prune.
    QMap<int, QString> names;
    QMap<int, QStringList> listedIn;
    for (Language language : CatalogueStore::kLanguages) {
        const Listing& listing = m_listings[language];
        for (auto it = listing.bySteamId.cbegin(); it != listing.bySteamId.cend(); ++it) {
            const GameItem* game = m_store.catalogue(language).game(it.value());
            if (!game->isNative() && !m_steam->present().contains(it.key())) {
                names.insert(it.key(), game->gameName());
                listedIn[it.key()] << CatalogueStore::fileName(language);
            }
        }
    }
    m_missing = names.size();
    const bool prune = m_options.prune && m_steam->complete();
    if (m_options.prune && !prune && !names.isEmpty())
        m_out << "warning: not pruning, since a Steam library or app manifest could not be read\n";
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        m_out << QString("%1 %2: listed in %3 but not installed any more; %4\n")
                     .arg(it.key(), -8)
                     .arg(it.value(), listedIn.value(it.key()).join(", "),
                          prune ? QStringLiteral("removed") : QStringLiteral("kept (--prune removes it)"));
    }
    if (!prune)
        return;
    for (Language language : CatalogueStore::kLanguages) {
        Catalogue& catalogue = m_store.catalogue(language);
        // Every entry of a pruned game goes, the last first so that the indices stay valid.
        for (int i = catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = catalogue.game(i);
            if (!game->isNative() && names.contains(game->steamGameId())) {
                Json::Value removed;
                catalogue.entries().removeIndex(static_cast<Json::ArrayIndex>(i), &removed);
                ++m_listings[language].pruned;
            }
        }
    }
}

bool Scan::write()
{
    auto changes = [this](Language language) {
        const Listing& listing = m_listings[language];
        return QString("%1 added, %2 filled in, %3 removed").arg(listing.added).arg(listing.filled).arg(listing.pruned);
    };
    auto made = [this](Language language) {
        const Language other = language == Language::English ? Language::Chinese : Language::English;
        return m_store.existed(language) ? QString()
               : m_store.existed(other)  ? QString("made from %1; ").arg(CatalogueStore::fileName(other))
                                         : QString("new; ");
    };
    QStringList written;
    QString error;
    if (!m_options.dryRun && !m_store.write(&written, &error)) {
        fail(error);
        return false;
    }
    for (Language language : CatalogueStore::kLanguages) {
        const QString path = m_store.path(language);
        if (!m_store.changed(language))
            m_out << path << ": unchanged\n";
        else if (m_options.dryRun)
            m_out << path << ": would change (" << made(language) << changes(language)
                  << "); dry run, nothing written\n";
        else
            m_out << path << ": written (" << made(language) << changes(language) << ")\n";
    }
    return true;
}

} // namespace

int runScan(const ScanOptions& options, QTextStream& out, QTextStream& err)
{
    // A station that follows its venue's catalogue shows the venue's games alone.
    VenueCatalogue venue;
    QString error;
    if (VenueFollow::followed(options.catalogueDir, &venue, &error))
        return runVenueScan(options, venue, out, err);
    if (!error.isEmpty()) {
        err << "nerq-catalogue: " << error << "; nothing changed (remove it to let the scan add Steam games)\n";
        return 1;
    }
    return Scan(options, out, err).run();
}
