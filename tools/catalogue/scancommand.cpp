#include "scancommand.h"

#include "appidlist.h"
#include "catalogue.h"
#include "gameitem.h"
#include "steamartwork.h"
#include "steamlibrary.h"
#include "steamlocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace {

// Steam's VR manifest lists these beside the games: SteamVR itself, the SteamVR Performance Test
// and Windows Mixed Reality for SteamVR.
const QSet<int> kVrTools = {250820, 323910, 719950};

// One of the two catalogues, the games it lists by Steam id, and what the scan did to it.
struct Target {
    QString fileName;
    QString path;
    bool chinese = false;
    Catalogue catalogue;
    QHash<int, int> bySteamId; // app id to the entry that lists it
    QSet<QString> gameIds;
    int added = 0;
    int filled = 0;
    int pruned = 0;

    bool changed() const { return added + filled + pruned > 0; }
};

// Copies through a temporary name, so that an interrupted copy never passes for a picture. No
// sync to disk as QFile::copy does: hundreds of pictures would take seconds, and a lost copy is
// simply made again by the next scan.
bool copyPicture(const QString& source, const QDir& images, const QString& name)
{
    constexpr qint64 kMaxPicture = 64 * 1024 * 1024;
    QFile in(source);
    QFile out(images.filePath(name + ".part"));
    const bool copied = in.size() <= kMaxPicture && in.open(QIODevice::ReadOnly) && images.mkpath(".")
                        && out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(in.readAll()) == in.size()
                        && out.flush();
    out.close();
    if (copied && out.rename(images.filePath(name)))
        return true;
    out.remove();
    return false;
}

class Scan
{
public:
    Scan(const ScanOptions& options, QTextStream& out, QTextStream& err)
        : m_options(options)
        , m_out(out)
        , m_err(err)
    {}

    int run();

private:
    int fail(const QString& message)
    {
        m_err << "nerq-catalogue: " << message << '\n';
        return 1;
    }
    bool loadLists(QString* error);
    bool loadCatalogues();
    QString classify(const SteamApp& app) const;
    QString mergeGame(const SteamApp& app);
    QString picture(int appId);
    void reportMissing();
    bool write();

    const ScanOptions& m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    AppIdList m_include;
    AppIdList m_exclude;
    std::vector<std::unique_ptr<Target>> m_targets;
    std::unique_ptr<SteamLibrary> m_steam;
    std::unique_ptr<SteamArtwork> m_artwork;
    struct Picture {
        QString source;  // in Steam's cache
        QString imgPath; // of the copy; empty when there is none
    };
    QHash<int, Picture> m_pictures;
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
    if (!loadCatalogues())
        return 1;

    m_steam = std::make_unique<SteamLibrary>(roots);
    m_artwork = std::make_unique<SteamArtwork>(roots);
    m_out << "Steam: " << roots.join(", ") << '\n';
    for (const QString& problem : m_steam->problems())
        m_out << "warning: " << problem << '\n';
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

bool Scan::loadCatalogues()
{
    const QDir dir(m_options.catalogueDir);
    for (const QString& name : {QStringLiteral("data_en.json"), QStringLiteral("data_cn.json")}) {
        auto target = std::make_unique<Target>();
        target->fileName = name;
        target->path = dir.filePath("game/" + name);
        target->chinese = name == "data_cn.json";
        if (QFileInfo::exists(target->path)) {
            target->catalogue.readFile(target->path);
            if (!target->catalogue.problems().empty()) {
                const CatalogueProblem& first = target->catalogue.problems().front();
                const QString where = first.index < 0 ? QString() : QString("entry %1: ").arg(first.index);
                fail(QString("%1: left unchanged, since the program would not load all of it: %2%3 (nerq-catalogue "
                             "check %1 lists every problem)")
                         .arg(target->path, where, first.message));
                return false;
            }
        } else {
            target->catalogue.read("[]");
        }
        // A Steam entry is the one to fill in; a native entry with the id still counts as listed.
        for (int i = target->catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = target->catalogue.game(i);
            target->gameIds.insert(game->gameId());
            const int appId = game->steamGameId();
            const auto listed = target->bySteamId.constFind(appId);
            if (appId > 0
                && (listed == target->bySteamId.cend() || !game->isNative()
                    || target->catalogue.game(*listed)->isNative()))
                target->bySteamId.insert(appId, i);
        }
        m_targets.push_back(std::move(target));
    }
    return true;
}

// Why an app is not a VR game for the catalogue, or empty when it is one.
QString Scan::classify(const SteamApp& app) const
{
    if (!app.installed)
        return QString("not fully installed (StateFlags %1), skipped").arg(app.stateFlags);
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
    QStringList added;
    QStringList present;
    QStringList filled;
    bool listedPicture = false;
    for (const auto& target : m_targets) {
        const QString name = target->chinese && !listing.chineseName.isEmpty() ? listing.chineseName : englishName;
        Json::Value& entries = target->catalogue.entries();
        const auto found = target->bySteamId.constFind(app.appId);
        if (found == target->bySteamId.cend()) {
            QString gameId = QString("steam_%1").arg(app.appId);
            for (int n = 2; target->gameIds.contains(gameId); ++n)
                gameId = QString("steam_%1_%2").arg(app.appId).arg(n);
            target->gameIds.insert(gameId);
            Json::Value entry(Json::objectValue);
            entry["gameId"] = gameId.toStdString();
            entry["gameName"] = name.toStdString();
            entry["imgPath"] = picture(app.appId).toStdString();
            entry["isNative"] = false;
            entry["launcherPath"] = "";
            entry["steamGameId"] = app.appId;
            entry["gameMode"] = m_options.mode;
            entries.append(entry);
            ++target->added;
            added << target->fileName;
            continue;
        }
        present << target->fileName;
        // Whatever the operator wrote stays; only what is empty is filled in. A native entry
        // that names the Steam id is the operator's own way of starting the game: left alone.
        const GameItem* game = target->catalogue.game(*found);
        Json::Value& entry = entries[*found];
        if (game->isNative())
            continue;
        QStringList keys;
        if (game->gameName().isEmpty()) {
            entry["gameName"] = name.toStdString();
            keys << "gameName";
        }
        const QString imgPath = game->imgPath().isEmpty() ? picture(app.appId) : QString();
        if (!imgPath.isEmpty()) {
            entry["imgPath"] = imgPath.toStdString();
            keys << "imgPath";
        }
        if (!entry.isMember("gameMode")) {
            entry["gameMode"] = m_options.mode;
            keys << "gameMode";
        }
        listedPicture = listedPicture || !game->imgPath().isEmpty();
        if (!keys.isEmpty()) {
            ++target->filled;
            filled << QString("%1 in %2").arg(keys.join(", "), target->fileName);
        }
    }

    QString verdict =
        added.isEmpty() ? QStringLiteral("VR game, already listed")
        : present.isEmpty()
            ? QStringLiteral("VR game, added")
            : QString("VR game, added to %1, already listed in %2").arg(added.join(", "), present.join(", "));
    ++(added.isEmpty() ? m_present : m_added);
    if (!filled.isEmpty())
        verdict += "; filled " + filled.join("; ");
    const auto copied = m_pictures.constFind(app.appId);
    if (copied != m_pictures.cend())
        verdict += copied->imgPath.isEmpty() ? "; no picture" : "; picture " + copied->source;
    else if (listedPicture)
        verdict += "; picture as listed";
    return verdict;
}

// The imgPath of the app's picture copied beside the catalogues, or empty when there is none.
// Found and copied once per app, for both catalogues.
QString Scan::picture(int appId)
{
    const auto found = m_pictures.constFind(appId);
    if (found != m_pictures.cend())
        return found->imgPath;
    Picture& picture = m_pictures[appId];
    picture.source = m_artwork->find(appId);
    if (picture.source.isEmpty())
        return {};
    const QString name = QString("steam_%1.%2").arg(appId).arg(QFileInfo(picture.source).suffix().toLower());
    const QDir images(QDir(m_options.catalogueDir).filePath("game/images"));
    // A picture already there may be the operator's own choice: it is kept.
    if (!m_options.dryRun && !images.exists(name) && !copyPicture(picture.source, images, name)) {
        m_out << "warning: cannot copy " << picture.source << " to " << images.filePath(name) << '\n';
        return {};
    }
    picture.imgPath = "../game/images/" + name;
    return picture.imgPath;
}

void Scan::reportMissing()
{
    // Steam games the catalogues list but no library holds: kept unless --prune says otherwise.
    QMap<int, QString> names;
    QMap<int, QStringList> listedIn;
    for (const auto& target : m_targets) {
        for (auto it = target->bySteamId.cbegin(); it != target->bySteamId.cend(); ++it) {
            const GameItem* game = target->catalogue.game(it.value());
            if (!game->isNative() && !m_installed.contains(it.key())) {
                names.insert(it.key(), game->gameName());
                listedIn[it.key()] << target->fileName;
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
    for (const auto& target : m_targets) {
        // Every entry of a pruned game goes, the last first so that the indices stay valid.
        for (int i = target->catalogue.size() - 1; i >= 0; --i) {
            const GameItem* game = target->catalogue.game(i);
            if (game && !game->isNative() && names.contains(game->steamGameId())) {
                Json::Value removed;
                target->catalogue.entries().removeIndex(static_cast<Json::ArrayIndex>(i), &removed);
                ++target->pruned;
            }
        }
    }
}

bool Scan::write()
{
    for (const auto& target : m_targets) {
        if (!target->changed()) {
            m_out << target->path << ": unchanged\n";
            continue;
        }
        const QString changes =
            QString("%1 added, %2 filled in, %3 removed").arg(target->added).arg(target->filled).arg(target->pruned);
        if (m_options.dryRun) {
            m_out << target->path << ": would change (" << changes << "); dry run, nothing written\n";
            continue;
        }
        QString error;
        if (!QDir().mkpath(QFileInfo(target->path).path()) || !target->catalogue.save(target->path, &error)) {
            fail(error.isEmpty() ? "cannot create the folder of " + target->path : error);
            return false;
        }
        m_out << target->path << ": written (" << changes << ")\n";
    }
    return true;
}

} // namespace

int runScan(const ScanOptions& options, QTextStream& out, QTextStream& err)
{
    return Scan(options, out, err).run();
}
