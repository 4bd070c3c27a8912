#pragma once

#include <QString>
#include <QStringList>

class CommandLine;

// The "DIR ID" of add-station and remove-station, with the command's help. False when it
// printed the help (status 0) or a usage error (status 2), a station id that is none included.
bool parseStationArguments(const QString& command, const char* description, const QStringList& arguments,
                           CommandLine& cli, QString* dir, QString* id, int* status);
