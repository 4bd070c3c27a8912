#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue status [--json]: every station that has ever reported, one line each.
int runStatusCommand(const QStringList& arguments, CommandLine& cli);
