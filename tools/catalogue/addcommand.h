#pragma once

#include <QString>
#include <QStringList>

class CatalogueCommandLine;
class QTextStream;

struct AddOptions {
    QString catalogueDir;
    QString launcher; // a native game's launcher, as the operator names it
    int steamId = 0;  // a Steam game when above 0
    QString name;
    QString nameCn; // empty: the name
    int mode = 0;
    QString image;    // empty: no picture
    QString gameId;   // empty: made from the name
    int position = 0; // counted from 1; 0: the end
    int waitSeconds = 5;
};

// Adds one game to both catalogues. Returns 0 when added, 1 when the data forbids it (a taken
// id, a listed Steam game, a missing launcher, no picture) and nothing changed.
int runAdd(const AddOptions& options, QTextStream& out, QTextStream& err);

// nerq-catalogue add: parses the command's own options, then adds; returns the exit status (2 for
// a usage error).
int addCommand(CatalogueCommandLine& cli, const QStringList& arguments);
