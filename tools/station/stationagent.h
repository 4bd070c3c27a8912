#pragma once

#include "cataloguefollower.h"
#include "cataloguework.h"
#include "commandrunner.h"
#include "eventoutbox.h"
#include "messageage.h"
#include "runninggame.h"
#include "stationactions.h"
#include "stationpower.h"
#include "stationselling.h"
#include "stationsettings.h"
#include "statusboard.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class AgentClock;
class MqttClient;

// The station agent: publishes the station's whole state, carries out the desk's commands as the
// program would (a launch as a tile click, a calibration as the button), and keeps the station's
// catalogues in step with the venue's. It only wires its parts together: each part adds its
// fields to the status and offers its commands. Speaks MQTT only through MqttClient.
class StationAgent : public QObject
{
    Q_OBJECT

public:
    StationAgent(MqttClient& mqtt, StationSettings settings, const AgentClock& clock);
    ~StationAgent() override;

    void start();
    // Says "offline" itself, then lets the client leave; stopped() follows.
    void stop();
    // Every message the agent subscribed to; anything unexpected is logged and dropped. `age`: the
    // broker's count of a command's lifetime, which decides whether it is still wanted.
    void handleMessage(const QString& topic, const QByteArray& payload, const MessageAge& age = MessageAge());

    // The status as last built.
    const QByteArray& status() const { return m_board.payload(); }
    // No work beside the loop is pending.
    bool idle() const { return m_work.pending() == 0; }

signals:
    void stopped();

private:
    // Each part's news, into the outbox for the venue's books.
    void noteEvents();

    MqttClient& m_mqtt;
    StationSettings m_settings;
    EventOutbox m_outbox;
    StatusBoard m_board;
    RunningGame m_game;
    CatalogueFollower m_follower;
    StationActions m_actions;
    StationSelling m_selling;
    CommandRunner m_commands;
    StationPower m_power;
    // Last, so destroyed first: no outcome of work beside the loop reaches a part that is gone.
    CatalogueWork m_work;
};
