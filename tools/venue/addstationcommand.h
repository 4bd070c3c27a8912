#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue add-station DIR ID: the station's password line and ACL block, a reload of the
// running broker, and DIR/stations/ID.conf, the one file to copy to the station.
int runAddStationCommand(const QStringList& arguments, CommandLine& cli);
