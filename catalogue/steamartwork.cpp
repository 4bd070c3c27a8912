#include "steamartwork.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Wide pictures suit the tile best; a logo is drawn on transparency and an icon is tiny.
const char* const kKinds[] = {"header", "library_hero", "library_capsule", "library_600x900", "", "logo", "icon"};
const int kOtherKind = 4;

// Lower is better; the name is the file's base name without the flat layout's "<id>_" prefix.
int rank(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != "jpg" && suffix != "jpeg" && suffix != "png")
        return std::numeric_limits<int>::max();
    const QString stem = QFileInfo(fileName).completeBaseName().toLower();
    int kind = kOtherKind;
    QString rest;
    for (int i = 0; i < static_cast<int>(std::size(kKinds)); ++i) {
        const QString name = kKinds[i];
        if (!name.isEmpty() && (stem == name || stem.startsWith(name + '_'))) {
            kind = i;
            rest = stem.mid(name.size());
            break;
        }
    }
    const int language = rest.isEmpty() ? 0 : rest == "_english" ? 1 : 2;
    return kind * 3 + language;
}

} // namespace

SteamArtwork::SteamArtwork(const QStringList& steamRoots)
{
    for (const QString& root : steamRoots) {
        m_caches << QDir(root).filePath("appcache/librarycache");
        m_trees << QFileInfo(root).canonicalFilePath();
        // A cache that Steam was told to keep on another drive is still Steam's.
        const QString cache = QFileInfo(m_caches.last()).canonicalFilePath();
        if (!cache.isEmpty())
            m_trees << cache;
    }
    m_trees.removeAll(QString());
}

const QHash<int, QStringList>& SteamArtwork::flatFiles(const QString& cache) const
{
    auto found = m_flatFiles.find(cache);
    if (found != m_flatFiles.end())
        return *found;
    QHash<int, QStringList>& files = m_flatFiles[cache];
    const QStringList names = QDir(cache).entryList(QDir::Files | QDir::System);
    for (const QString& name : names) {
        const int underscore = name.indexOf('_');
        bool ok = false;
        const int appId = underscore > 0 ? name.leftRef(underscore).toInt(&ok) : 0;
        if (ok)
            files[appId] << name;
    }
    return files;
}

QStringList SteamArtwork::candidates(int appId) const
{
    std::vector<std::pair<int, QString>> found;
    auto consider = [&](const QString& path, const QString& name) {
        const int r = rank(name);
        if (r != std::numeric_limits<int>::max())
            found.emplace_back(r, path);
    };
    const QString id = QString::number(appId);
    for (const QString& cache : m_caches) {
        const QDir dir(cache);
        for (const QString& name : flatFiles(cache).value(appId))
            consider(dir.filePath(name), name.mid(id.size() + 1));
        const QString folder = dir.filePath(id);
        if (!QFileInfo(folder).isDir())
            continue;
        // Files of any kind are candidates, so that what is wrong with one can be said.
        const QDir::Filters entries = QDir::Files | QDir::System | QDir::Hidden;
        QDirIterator it(folder, entries | QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (!info.isDir()) {
                consider(info.filePath(), info.fileName());
                continue;
            }
            // One hashed folder further down, no deeper.
            const QStringList inner = QDir(info.filePath()).entryList(entries);
            for (const QString& name : inner)
                consider(QDir(info.filePath()).filePath(name), name);
        }
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    for (const auto& candidate : found)
        paths << candidate.second;
    return paths;
}
