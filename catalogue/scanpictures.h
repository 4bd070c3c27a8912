#pragma once

#include "steamartwork.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class CatalogueStore;

// The pictures a scan gives the games it adds or fills in: for each app the best picture in
// Steam's cache that really is one, copied to game/images/<gameId>.<ext> once for both languages.
class ScanPictures
{
public:
    ScanPictures(const CatalogueStore& store, const QStringList& steamRoots, bool dryRun);

    // An imgPath that an entry shows: no copy takes its name.
    void markUsed(const QString& imgPath) { m_usedImages.insert(imgPath); }

    // Why the copy an earlier scan made for a game (game/images/<gameId> or steam_<appId>) is
    // no picture, with its name in `copy`; empty when imgPath names no such copy or a good one.
    QString brokenCopy(const QString& imgPath, const QString& gameId, int appId, QString* copy) const;

    // Copies the app's picture to game/images/<gameId>.<ext> and returns its imgPath, or empty
    // when there is none; `replacing` names a broken copy that may be written over. What was done
    // is added to `note` as "; ..." parts.
    QString copy(int appId, const QString& gameId, const QString& replacing, QString* note);

private:
    // The picture chosen for an app: checked, read and ready to copy.
    struct Choice {
        QString source;
        QByteArray data;
        QString suffix;
        QStringList passedOver; // "<file>: <why>" for each better candidate that could not be used
    };
    const Choice& choose(int appId);

    const CatalogueStore& m_store;
    SteamArtwork m_artwork;
    bool m_dryRun;
    QSet<QString> m_usedImages; // every imgPath of either catalogue
    QHash<int, Choice> m_choices;
    QHash<QString, QString> m_copies; // gameId to the imgPath of its copy: one for both languages
};
