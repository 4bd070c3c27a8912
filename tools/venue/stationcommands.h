#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue launch GAMEID, calibrate and scan, each to --station ID[,ID...] or --all: the command
// goes to every station online, and one line a station says how it went.
int runLaunchCommand(const QStringList& arguments, CommandLine& cli);
int runCalibrateCommand(const QStringList& arguments, CommandLine& cli);
int runScanCommand(const QStringList& arguments, CommandLine& cli);
// nerq-venue power off|restart [--force]: the station's agent asks its operating system.
int runPowerCommand(const QStringList& arguments, CommandLine& cli);
