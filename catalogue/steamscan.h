#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

struct ScanOptions {
    QStringList steamRoots; // empty: look where Steam installs itself
    QString catalogueDir;   // holds game/data_en.json and game/data_cn.json
    int mode = 0;           // gameMode of the games added
    QString includeFile;
    QString excludeFile;
    bool prune = false;
    bool dryRun = false;
    int waitSeconds = 5; // for another writer's lock
};

// Merges the VR games of the installed Steam library into both catalogues. Returns the exit
// status: 0 done, 1 Steam or a catalogue could not be read or written, 2 a list file is unusable.
int runScan(const ScanOptions& options, QTextStream& out, QTextStream& err);
