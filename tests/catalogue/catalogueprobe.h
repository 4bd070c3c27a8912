#pragma once

#include "gamemodel.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

// The real nerq-catalogue executable, run to completion: its exit status and everything it
// printed, standard output and error together.
struct ToolRun {
    int exitCode = -1;
    QString output;
};
ToolRun runCatalogueTool(const QStringList& arguments,
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                         const QString& workingDir = QString());

// Test files: written with their folders (a failure fails the test), read back (empty if none).
void writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);

// A Steam folder as Steam lays it out, built on disk: app manifests in steamapps/, the VR
// manifest listing the VR apps, pictures in the cache.
struct SteamFolder {
    QString root;

    void addApp(int appId, const QString& name, const QString& stateFlags = "4") const;
    void listAsVr(const QList<int>& appIds) const;
    QString cache() const { return root + "/appcache/librarycache/"; }
};

// A small real picture in `format` ("jpg", "png"), its colour made from `seed`, so that two
// pictures of different seeds differ.
QByteArray pictureBytes(const char* format, int seed);

// A catalogue as the program loads it: one pass of the real loader into a fresh model.
struct LoadedCatalogue {
    std::shared_ptr<GameModel> model;
    QStringList errors; // the loader's error log lines
    QStringList ids;    // game ids in row order
    GameItem* game(const QString& gameId) const { return model->findGame(gameId); }
};
LoadedCatalogue loadCatalogue(const QString& path);
