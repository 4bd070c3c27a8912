#pragma once

#include "venuefolder.h"

#include <QString>
#include <QStringList>

class CommandLine;

// The "DIR NAME" of add-station, remove-station, add-desk and remove-desk, with the command's
// help. False when it printed the help (status 0) or a usage error (status 2), a name that is none
// included: 1 to 64 letters, digits, - or _, since it becomes an MQTT user name and a topic level,
// and not a user of the desk PC's own (the desk's, the recorder's).
bool parseClientArguments(VenueFolder::Client client, const QString& command, const char* description,
                          const QStringList& arguments, CommandLine& cli, QString* dir, QString* name, int* status);
