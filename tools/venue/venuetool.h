#pragma once

#include <QStringList>

// The nerq-venue command line: the command named first, with its own options, --help and
// --version. Returns the exit status: 0 done, 1 a station or the data failed, 2 usage error.
int runVenueTool(const QStringList& arguments);
