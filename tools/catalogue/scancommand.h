#pragma once

#include <QStringList>

class CommandLine;

// nerq-catalogue scan: parses the command's own options, then scans; returns the exit status (2 for
// a usage error).
int scanCommand(CommandLine& cli, const QStringList& arguments);
