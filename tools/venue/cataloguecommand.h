#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue catalogue publish --catalogue-dir DIR, and nerq-venue catalogue show [--json]: the
// venue catalogue that every station follows.
int runCatalogueCommand(const QStringList& arguments, CommandLine& cli);
