#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

// One app manifest of a Steam library.
struct SteamApp {
    int appId = 0;
    QString name;       // the manifest's "name"
    QString stateFlags; // as Steam wrote it
    bool hasStateFlags = false;
    bool installed = false; // the "fully installed" bit is set
};

// An app that Steam's VR manifest lists as launchable in the headset.
struct SteamVrListing {
    QString englishName;
    QString chineseName; // empty when Steam gives no Chinese name
};

// What Steam's own files say about the apps installed under some Steam folders: the library
// folders, every app manifest in them, and which apps the VR runtime may launch. Steam changes
// these files without notice, so whatever cannot be read is skipped and noted, never fatal; each
// is read only when it is a plain file of a bounded size inside the folder it was found in.
class SteamLibrary
{
public:
    explicit SteamLibrary(const QStringList& roots);

    // The library folders that could be read, the Steam folders themselves first.
    const QStringList& libraries() const { return m_libraries; }
    // One line for each library or file that was listed but could not be read.
    const QStringList& problems() const { return m_problems; }
    // False when a listed library or an app manifest could not be read, so an app missing from
    // apps() may still be installed.
    bool complete() const { return m_complete; }
    // Every app manifest that could be read, by app id; one entry per app.
    const std::vector<SteamApp>& apps() const { return m_apps; }
    // The apps that have an app manifest in some library, in any state and of any kind: one being
    // updated, one that cannot be read, even one that is not a plain file. Their games are there.
    const QSet<int>& present() const { return m_present; }
    const QHash<int, SteamVrListing>& vrListings() const { return m_vrListings; }

private:
    void readLibraryFolders(const QString& root);
    void addLibrary(const QString& path, const QString& listedIn);
    void readManifests(const QString& library);
    void readManifest(const QString& path, const QString& tree);
    void readVrManifest(const QString& root);

    QStringList m_libraries;
    QStringList m_problems;
    bool m_complete = true;
    std::vector<SteamApp> m_apps;
    QHash<int, int> m_appIndex; // app id to its place in m_apps
    QSet<int> m_present;
    QHash<int, SteamVrListing> m_vrListings;
};
