#include "stationevents.h"

#include "helpcall.h"
#include "outcome.h"
#include "sessionkeeper.h"
#include "venuejson.h"
#include "venueprotocol.h"

using VenueJson::textOrNull;

void StationEvents::noteAnswer(const EventNote& note, const StationCommand& command, const Outcome& outcome)
{
    if (!outcome.ok()) {
        note("command-failed", {{"command", command.command},
                                {"commandId", command.id},
                                {"error", outcome.reason()},
                                {"gameId", textOrNull(command.gameId)}});
    } else if (command.command == QLatin1String("calibrate")) {
        note("calibrated", {});
    }
}

void StationEvents::noteSelling(const EventNote& note, const SessionKeeper& keeper, const HelpCall& help,
                                QObject* context)
{
    QObject::connect(&keeper, &SessionKeeper::started, context,
                     [note](const QString& session, qint64 seconds, const QString& gameId) {
                         note("session-started",
                              {{"session", session}, {"seconds", double(seconds)}, {"gameId", textOrNull(gameId)}});
                     });
    QObject::connect(&keeper, &SessionKeeper::extended, context, [note](const QString& session, qint64 seconds) {
        note("session-extended", {{"session", session}, {"seconds", double(seconds)}});
    });
    QObject::connect(&keeper, &SessionKeeper::ended, context,
                     [note](const QString& session, SessionEnd reason, qint64 seconds, qint64 playedSeconds) {
                         note("session-ended", {{"session", session},
                                                {"reason", sessionEndName(reason)},
                                                {"seconds", double(seconds)},
                                                {"playedSeconds", double(playedSeconds)}});
                     });
    QObject::connect(&keeper, &SessionKeeper::madeReady, context, [note] { note("ready", {}); });
    QObject::connect(&help, &HelpCall::called, context, [note](const QString& session) {
        note("help-called", {{"session", textOrNull(session)}});
    });
    QObject::connect(&help, &HelpCall::answered, context, [note](const QString& by, qint64 calledAt) {
        note("help-answered", {{"by", textOrNull(by)}, {"calledAt", double(calledAt)}});
    });
}
