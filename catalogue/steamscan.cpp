#include "steamscan.h"

#include "appidlist.h"
#include "cataloguestore.h"
#include "gameitem.h"
#include "scanmerge.h"
#include "scanpictures.h"
#include "steamlibrary.h"
#include "steamlocator.h"
#include "venuecatalogue.h"
#include "venuescan.h"

#include <QMap>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace {

using Language = CatalogueStore::Language;

// Steam's VR manifest lists these beside the games: SteamVR itself, the SteamVR Performance Test
// and Windows Mixed Reality for SteamVR.
const QSet<int> kVrTools = {250820, 323910, 719950};

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
    QString classify(const SteamApp& app) const;
    void reportMissing();
    bool write();

    const ScanOptions& m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    CatalogueStore m_store;
    AppIdList m_include;
    AppIdList m_exclude;
    std::unique_ptr<SteamLibrary> m_steam;
    std::unique_ptr<ScanPictures> m_pictures;
    std::unique_ptr<ScanMerge> m_merge;
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
    m_pictures = std::make_unique<ScanPictures>(m_store, roots, m_options.dryRun);
    if ((!m_options.dryRun && !m_store.lock(m_options.waitSeconds, &error)) || !m_store.read(&error))
        return fail(error);
    m_merge = std::make_unique<ScanMerge>(m_store, *m_pictures, m_options.mode);

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
            bool added = false;
            verdict = m_merge->merge(app, m_steam->vrListings().value(app.appId), &added);
            ++(added ? m_added : m_present);
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

// Why an app is not a VR game for the catalogue, or empty when it is one.
QString Scan::classify(const SteamApp& app) const
{
    if (!app.installed) {
        const QString state = app.hasStateFlags ? QString("not fully installed (StateFlags %1)").arg(app.stateFlags)
                                                : QStringLiteral("no StateFlags in its app manifest");
        return state
               + (m_merge->listedAnywhere(app.appId) ? QStringLiteral("; listed, kept") : QStringLiteral(", skipped"));
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

void Scan::reportMissing()
{
    // Steam games the catalogues list but no library has a manifest of: kept unless --prune.
    QMap<int, QString> names;
    QMap<int, QStringList> listedIn;
    QSet<int> gone;
    for (Language language : CatalogueStore::kLanguages) {
        const QHash<int, int>& listed = m_merge->bySteamId(language);
        for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
            const GameItem* game = m_store.catalogue(language).game(it.value());
            if (!game->isNative() && !m_steam->present().contains(it.key())) {
                names.insert(it.key(), game->gameName());
                gone.insert(it.key());
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
    if (prune)
        m_merge->prune(gone);
}

bool Scan::write()
{
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
            m_out << path << ": would change (" << made(language) << m_merge->changes(language)
                  << "); dry run, nothing written\n";
        else
            m_out << path << ": written (" << made(language) << m_merge->changes(language) << ")\n";
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
