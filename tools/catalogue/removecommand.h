#pragma once

#include <QString>
#include <QStringList>

class CatalogueCommandLine;
class QTextStream;

// Takes games off both catalogues, with the pictures in game/images/ that no other game shows.
// Returns 0 when done, 1 when an id is unknown or the catalogues cannot be written; then nothing
// changed.
int runRemove(const QString& catalogueDir, const QStringList& gameIds, int waitSeconds, QTextStream& out,
              QTextStream& err);

// nerq-catalogue remove: parses the command's own options, then removes; returns the exit status (2 for
// a usage error).
int removeCommand(CatalogueCommandLine& cli, const QStringList& arguments);
