#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue init DIR [--host NAME] [--port N] [--ws-port N] [--tls]: the broker's folder, made
// or brought up to date; credentials that exist are kept.
int runInitCommand(const QStringList& arguments, CommandLine& cli);
