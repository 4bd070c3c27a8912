#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue report DIR [--from DATE] [--to DATE] [--by day|station|game|hour] [--csv]
int runReportCommand(const QStringList& arguments, CommandLine& cli);
