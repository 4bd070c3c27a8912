#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue wake DIR (--station ID[,ID...] | --all) [--to ADDRESS[:PORT]]
int runWakeCommand(const QStringList& arguments, CommandLine& cli);
