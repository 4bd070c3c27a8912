#include "stationagent.h"

#include "mqttclient.h"
#include "stationevents.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <utility>

StationAgent::StationAgent(MqttClient& mqtt, StationSettings settings, const AgentClock& clock)
    : m_mqtt(mqtt)
    , m_settings(std::move(settings))
    , m_outbox(mqtt, m_settings.station, m_settings.eventsPath, clock)
    , m_board(mqtt, m_settings, clock)
    , m_game(m_settings.catalogueDir, clock)
    , m_follower(mqtt, m_work, m_settings.catalogueDir, m_settings.steamRoots)
    , m_actions(m_settings, m_game, m_follower, m_work)
    , m_selling(m_settings, clock, mqtt, m_board, m_game, m_actions)
    , m_commands(mqtt, m_settings.station, m_settings.journalPath, clock)
{
    m_board.add([this](QJsonObject& status) { m_game.addTo(status); }, &RunningGame::addToWill);
    m_board.add([this](QJsonObject& status) { m_follower.addTo(status); });
    m_board.add([this](QJsonObject& status) { m_actions.addTo(status); });
    m_board.add([this](QJsonObject& status) { m_power.addTo(status); });
    m_actions.offer(m_commands);
    m_selling.offer(m_commands);
    m_power.offer(m_commands);
    m_power.setInSession([this] { return m_selling.keeper().active(); });
    noteEvents();

    connect(&m_follower, &CatalogueFollower::changed, &m_board, &StatusBoard::refresh);
    connect(&m_commands, &CommandRunner::carriedOut, &m_board, &StatusBoard::refresh);
    connect(&m_mqtt, &MqttClient::connected, &m_board, &StatusBoard::online);
    connect(&m_mqtt, &MqttClient::messageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool, const MessageAge& age) {
                handleMessage(topic, payload, age);
            });
    connect(&m_mqtt, &MqttClient::stopped, this, &StationAgent::stopped);
}

StationAgent::~StationAgent() = default;

void StationAgent::noteEvents()
{
    const EventNote note = [this](const QString& type, const QJsonObject& fields) { m_outbox.record(type, fields); };
    m_game.setNote([this, note](const QString& type, QJsonObject fields) {
        const SessionKeeper& keeper = m_selling.keeper();
        if (type == QLatin1String("game-started") && fields.value("session").isNull() && keeper.active())
            fields.insert("session", keeper.session()->id);
        note(type, fields);
    });
    connect(&m_selling.keeper(), &SessionKeeper::endGame, this,
            [this](SessionEnd reason) { m_game.endingFor(sessionEndName(reason)); });
    connect(&m_commands, &CommandRunner::answered, this, [note](const StationCommand& command, const Outcome& outcome) {
        StationEvents::noteAnswer(note, command, outcome);
    });
    StationEvents::noteSelling(note, m_selling.keeper(), m_selling.help(), this);
}

void StationAgent::start()
{
    m_commands.load();
    m_outbox.open();
    m_outbox.record("online");
    m_outbox.start();
    m_actions.open();
    m_follower.restore();
    m_selling.start();
    m_board.refresh(); // the last will, before the first connection
    m_mqtt.subscribe(VenueTopics::commands(m_settings.station));
    m_mqtt.subscribe(VenueTopics::catalogue());
    m_board.startPolling();
    m_mqtt.start();
}

void StationAgent::stop()
{
    m_outbox.record("offline");
    m_board.offline();
    m_mqtt.stop();
}

void StationAgent::handleMessage(const QString& topic, const QByteArray& payload, const MessageAge& age)
{
    if (topic == VenueTopics::commands(m_settings.station))
        m_commands.handle(payload, age);
    else if (topic == m_outbox.ackTopic())
        m_outbox.handleAck(payload);
    else if (topic == VenueTopics::catalogue())
        m_follower.handleCatalogue(payload);
    else if (!VenueTopics::pictureOf(topic).isEmpty())
        m_follower.handlePicture(VenueTopics::pictureOf(topic), payload);
    else
        LOG(WARNING) << "A message on " << topic.toStdString() << ", which this station does not read; dropped";
}
