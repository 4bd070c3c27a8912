#pragma once

class CommandRunner;
class HelpCall;
class SessionKeeper;
class StationActions;
class StatusBoard;

// The desk's commands about selling time: session-start (with a game started as launch starts
// it; no game, no session), session-extend, session-end, help-answer, ready and report. Each is
// carried out on the loop, one after another, so of two session-starts at once one runs and the
// other finds the session running.
class SessionCommands
{
public:
    SessionCommands(SessionKeeper& keeper, HelpCall& help, StationActions& actions, StatusBoard& board);

    void offer(CommandRunner& commands);

private:
    SessionKeeper& m_keeper;
    HelpCall& m_help;
    StationActions& m_actions;
    StatusBoard& m_board;
};
