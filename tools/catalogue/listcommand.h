#pragma once

#include <QString>
#include <QStringList>

class CatalogueCommandLine;
class QTextStream;

// Lists the games of both catalogues in the page's order, one line each, or as JSON. Only reads:
// no lock, so it works on a folder it may not write. Returns 0, or 1 when a catalogue is one
// the program would not load whole or neither exists.
int runList(const QString& catalogueDir, bool json, QTextStream& out, QTextStream& err);

// nerq-catalogue list: parses the command's own options, then lists; returns the exit status (2 for
// a usage error).
int listCommand(CatalogueCommandLine& cli, const QStringList& arguments);
