#pragma once

#include "brokerconfig.h"

#include <QCommandLineOption>
#include <QString>

class CommandLine;
class DeskSession;
class QCommandLineParser;

// What the desk's commands (status, launch, calibrate, scan, catalogue) share: the desk's own
// credentials, console.conf, and a session with the broker.
namespace DeskConnection {

// How long nerq-venue waits for the broker to take it in and give what it keeps.
constexpr int kOpenTimeoutMs = 5000;

// --config FILE, by default $XDG_CONFIG_HOME/nerqvrplatform/console.conf.
QCommandLineOption configOption();
// The file's credentials; false with the failure reported (status 1).
bool load(const QCommandLineParser& parser, CommandLine& cli, BrokerConfig* config, int* status);
// Connects and reads what the broker keeps; false with the failure reported (status 1). A status
// or result the desk cannot use is reported as a warning whenever it comes.
bool open(DeskSession& session, CommandLine& cli, int* status, bool withCatalogue = false);

// "2026-12-09 14:03:07", or "an unknown time" for 0.
QString time(qint64 ms);

} // namespace DeskConnection
