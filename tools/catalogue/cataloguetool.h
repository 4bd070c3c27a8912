#pragma once

#include <QStringList>

// The nerq-catalogue command line: --help, --version, and the command named first, which parses
// its own options. Returns the exit status; 2 for a usage error.
int runCatalogueTool(const QStringList& arguments);
