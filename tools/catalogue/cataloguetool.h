#pragma once

#include <QStringList>

// The nerq-catalogue command line: "scan" and "check" with their options, --help and --version.
// Returns the exit status; 2 for a usage error.
int runCatalogueTool(const QStringList& arguments);
