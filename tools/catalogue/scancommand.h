#pragma once

#include <QStringList>

class CatalogueCommandLine;

// nerq-catalogue scan: parses the command's own options, then scans; returns the exit status (2 for
// a usage error).
int scanCommand(CatalogueCommandLine& cli, const QStringList& arguments);
