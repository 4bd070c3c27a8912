#pragma once

#include "cataloguestore.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class ScanPictures;
struct SteamApp;
struct SteamVrListing;

// What a scan does to the entries of both catalogues: it knows which entry lists each Steam app,
// adds a new game to both, gives a game that one language lists to the other, fills in what a
// listed entry leaves empty, and takes pruned games off. Whatever the operator wrote stays.
class ScanMerge
{
public:
    using Language = CatalogueStore::Language;

    // Indexes the catalogues as read; every imgPath in them is marked used in `pictures`.
    ScanMerge(CatalogueStore& store, ScanPictures& pictures, int mode);

    // The entry of each Steam app that `language` lists (app id to entry, counted from 0).
    const QHash<int, int>& bySteamId(Language language) const { return m_listings[language].bySteamId; }
    bool listedAnywhere(int appId) const;

    // Adds an installed VR game, or fills in its entries; returns what was done, e.g. "VR game,
    // added". `added` tells whether it was new to both catalogues.
    QString merge(const SteamApp& app, const SteamVrListing& listing, bool* added);

    // Takes every Steam entry of these apps off both catalogues.
    void prune(const QSet<int>& appIds);

    // "<n> added, <n> filled in, <n> removed" for one catalogue.
    QString changes(Language language) const;

private:
    // What the scan knows of one catalogue: which entry lists which Steam app, and what it changed.
    struct Listing {
        QHash<int, int> bySteamId; // app id to the entry that lists it
        QSet<QString> gameIds;
        int added = 0;
        int filled = 0;
        int pruned = 0;
    };

    QString addGame(const SteamApp& app, const QString& englishName, const QString& chineseName);
    void addToOtherLanguage(const SteamApp& app, Language from, Language to, const QString& name);
    QString fillGame(const SteamApp& app, Language language, const QString& name, QStringList* filled);
    int modeOf(int appId) const;

    CatalogueStore& m_store;
    ScanPictures& m_pictures;
    int m_mode;
    Listing m_listings[2];
};
