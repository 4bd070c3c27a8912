#pragma once

#include <QStringList>

class CommandLine;

// nerq-venue session start|extend|end, answer and ready: a session's paid time on stations, a
// help call answered, a station cleaned after a session. One line a station, as launch.
int runSessionCommand(const QStringList& arguments, CommandLine& cli);
int runAnswerCommand(const QStringList& arguments, CommandLine& cli);
int runReadyCommand(const QStringList& arguments, CommandLine& cli);
