#pragma once

#include <QString>
#include <QStringList>

class CatalogueCommandLine;
class QTextStream;

// Reports what the program would skip, drop or refuse in a catalogue, and the pictures and
// native launchers it names that do not exist, with relative paths resolved from `workingDir`
// as the program resolves them. Returns 0 when the program would load every entry, else 1.
int runCheck(const QString& file, const QString& workingDir, QTextStream& out);

// nerq-catalogue check: parses the command's own options, then checks; returns the exit status (2 for
// a usage error).
int checkCommand(CatalogueCommandLine& cli, const QStringList& arguments);
