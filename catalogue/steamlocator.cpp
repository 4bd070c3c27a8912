#include "steamlocator.h"

#include <QFileInfo>

QStringList SteamLocator::resolve(const QStringList& paths)
{
    QStringList roots;
    for (const QString& path : paths) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (canonical.isEmpty() || roots.contains(canonical) || !QFileInfo(canonical + "/steamapps").isDir())
            continue;
        roots << canonical;
    }
    return roots;
}
