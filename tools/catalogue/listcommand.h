#pragma once

#include <QString>

class QTextStream;

// Lists the games of both catalogues in the page's order, one line each, or as JSON. Only reads:
// no lock, so it works on a folder it may not write. Returns 0, or 1 when a catalogue is one
// the program would not load whole or neither exists.
int runList(const QString& catalogueDir, bool json, QTextStream& out, QTextStream& err);
