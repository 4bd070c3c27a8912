#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>

class HelpCall;
class Outcome;
class QObject;
class SessionKeeper;
struct StationCommand;

// How a part of the agent says what happened, for the venue's books: an event's type and its
// fields (the outbox adds id, station, seq and at).
using EventNote = std::function<void(const QString& type, const QJsonObject& fields)>;

namespace StationEvents {

// What a command's answer tells the books: a failure as command-failed, a calibration done as
// calibrated; nothing else.
void noteAnswer(const EventNote& note, const StationCommand& command, const Outcome& outcome);

// What the time sold tells the books: a session started, extended and ended, the station made
// ready, a help call made and answered. `context` ends the notes when it goes.
void noteSelling(const EventNote& note, const SessionKeeper& keeper, const HelpCall& help, QObject* context);

} // namespace StationEvents
