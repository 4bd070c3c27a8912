#include "sessioncommands.h"

#include "commandrunner.h"
#include "helpcall.h"
#include "sessionkeeper.h"
#include "stationactions.h"
#include "statusboard.h"

SessionCommands::SessionCommands(SessionKeeper& keeper, HelpCall& help, StationActions& actions, StatusBoard& board)
    : m_keeper(keeper)
    , m_help(help)
    , m_actions(actions)
    , m_board(board)
{}

void SessionCommands::offer(CommandRunner& commands)
{
    using Reply = CommandRunner::Reply;
    commands.offer("session-start", [this](const StationCommand& command, const Reply& reply) {
        const QString refusal = m_keeper.startRefusal();
        if (!refusal.isEmpty()) {
            reply(Outcome::failed(refusal));
            return;
        }
        StationActions::Launch launch{Outcome::done(), true};
        if (!command.gameId.isEmpty())
            launch = m_actions.launch(command);
        if (!launch.started) {
            reply(Outcome::failed(launch.outcome.reason() + "; no session started"));
            return;
        }
        const Outcome started = m_keeper.start(command.id, command.seconds, command.gameId);
        reply(started.ok() ? launch.outcome : started);
    });
    commands.offer("session-extend", [this](const StationCommand& command, const Reply& reply) {
        reply(m_keeper.extend(command.seconds));
    });
    commands.offer("session-end",
                   [this](const StationCommand&, const Reply& reply) { reply(m_keeper.end(SessionEnd::Desk)); });
    commands.offer("help-answer",
                   [this](const StationCommand& command, const Reply& reply) { reply(m_help.answer(command.by)); });
    commands.offer("ready", [this](const StationCommand&, const Reply& reply) { reply(m_keeper.makeReady()); });
    commands.offer("report", [this](const StationCommand&, const Reply& reply) {
        m_board.republish();
        reply(Outcome::done());
    });
}
