#pragma once

#include "agentstate.h"
#include "gameender.h"
#include "headsetserver.h"
#include "helpcall.h"
#include "sessioncommands.h"
#include "sessionkeeper.h"

#include <QObject>

class AgentClock;
class CommandRunner;
class MqttClient;
class RunningGame;
class StationActions;
class StatusBoard;
struct StationSettings;

// How the station sells time, wired together: the session and the help call, kept in the agent's
// state at every change; the game ended when the session is over; the headset told what to show;
// the status told what stands. Nothing here waits for the broker: a session runs and ends on the
// station alone.
class StationSelling : public QObject
{
    Q_OBJECT

public:
    StationSelling(const StationSettings& settings, const AgentClock& clock, MqttClient& mqtt, StatusBoard& board,
                   RunningGame& game, StationActions& actions);

    void offer(CommandRunner& commands);
    // Takes on what the last run kept, and opens the headset's link.
    void start();

    const SessionKeeper& keeper() const { return m_keeper; }
    const HelpCall& help() const { return m_help; }

private:
    void connectSession();
    void connectHeadset(MqttClient& mqtt);
    void keep();
    void changed();
    HeadsetView view() const;

    const StationSettings& m_settings;
    MqttClient& m_mqtt;
    StatusBoard& m_board;
    AgentState m_state;
    SessionKeeper m_keeper;
    HelpCall m_help;
    GameEnder m_ender;
    HeadsetServer m_headset;
    SessionCommands m_commands;
};
