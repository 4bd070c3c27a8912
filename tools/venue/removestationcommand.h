#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue remove-station DIR ID: the station's password line, ACL block and file go, and the
// running broker is made to read the files again.
int runRemoveStationCommand(const QStringList& arguments, CommandLine& cli);
