#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue add-station DIR ID: the station's password line and ACL block, a reload of the
// running broker, and DIR/stations/ID.conf, the one file to copy to the station.
int runAddStationCommand(const QStringList& arguments, CommandLine& cli);
// nerq-venue add-desk DIR NAME: the same for a tablet or PC of the desk's, with the desk's rights
// and a password of its own, in DIR/desks/NAME.conf.
int runAddDeskCommand(const QStringList& arguments, CommandLine& cli);
// nerq-venue remove-station DIR ID and remove-desk DIR NAME: the client's password line, ACL
// block and file go, and the running broker is made to read the files again, which ends the
// client's connection and no other.
int runRemoveStationCommand(const QStringList& arguments, CommandLine& cli);
int runRemoveDeskCommand(const QStringList& arguments, CommandLine& cli);
