#pragma once

#include <QString>
#include <QStringList>

class CatalogueCommandLine;
class QTextStream;

// Moves a game to `position` (counted from 1) in both catalogues. Returns 0 when done (or it
// was there already), 1 when the id is unknown or the position past the end; then nothing changed.
int runMove(const QString& catalogueDir, const QString& gameId, int position, int waitSeconds, QTextStream& out,
            QTextStream& err);

// nerq-catalogue move: parses the command's own options, then moves; returns the exit status (2 for
// a usage error).
int moveCommand(CatalogueCommandLine& cli, const QStringList& arguments);
