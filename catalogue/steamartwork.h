#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The pictures Steam keeps of each app in its local cache appcache/librarycache/, in either of the
// two layouts Steam has used: flat files "<id>_header.jpg", or a folder "<id>/" holding
// "header.jpg" and the like, directly or one hashed folder further down. Offline only.
class SteamArtwork
{
public:
    explicit SteamArtwork(const QStringList& steamRoots);

    // The app's pictures, the best for a wide 400 x 188 tile first: the header, then the other
    // pictures, one without a language suffix before a translated one. Not yet checked.
    QStringList candidates(int appId) const;
    // The folders a picture must really lie in; a link out of them is not followed.
    const QStringList& trees() const { return m_trees; }

private:
    const QHash<int, QStringList>& flatFiles(const QString& cache) const;

    QStringList m_caches;
    QStringList m_trees;
    // The flat layout puts thousands of files in one folder: it is listed once, on first use.
    mutable QHash<QString, QHash<int, QStringList>> m_flatFiles;
};
