#include "stationselling.h"

#include "mqttclient.h"
#include "runninggame.h"
#include "stationsettings.h"
#include "statusboard.h"

StationSelling::StationSelling(const StationSettings& settings, const AgentClock& clock, MqttClient& mqtt,
                               StatusBoard& board, RunningGame& game, StationActions& actions)
    : m_settings(settings)
    , m_mqtt(mqtt)
    , m_board(board)
    , m_state(settings.statePath, clock)
    , m_keeper(settings.session, clock)
    , m_help(clock)
    , m_ender(settings.catalogueDir)
    , m_headset(settings.headsetServer, [this] { return view(); })
    , m_commands(m_keeper, m_help, actions, board)
{
    m_ender.setEnabled(settings.endGames);
    m_state.add(
        "session", [this] { return m_keeper.save(); },
        [this](const QJsonValue& value, const AgentState::Moments& moments) { m_keeper.restore(value, moments); });
    m_state.add(
        "help", [this] { return m_help.save(); },
        [this](const QJsonValue& value, const AgentState::Moments&) { m_help.restore(value); });
    m_state.add(
        "game", [this] { return m_ender.save(); },
        [this](const QJsonValue& value, const AgentState::Moments& moments) {
            m_ender.restore(value, moments.sameBoot());
        });
    board.add([this](QJsonObject& status) {
        m_keeper.addTo(status);
        m_help.addTo(status);
        m_headset.addTo(status);
    });
    board.addAtSending([this](QJsonObject& status) { m_keeper.addAtSending(status); });
    connect(&game, &RunningGame::gameStarted, this, [this](const QString& gameId, const QString&, qint64 process) {
        if (process > 0)
            m_ender.noteStarted(gameId, process);
    });
    connectSession();
    connectHeadset(mqtt);
}

void StationSelling::offer(CommandRunner& commands)
{
    m_commands.offer(commands);
}

void StationSelling::start()
{
    if (!m_settings.statePath.isEmpty())
        m_state.load();
    if (!m_settings.headsetServer.isEmpty())
        m_headset.listen();
    // A session whose end passed while the agent was away is up now, not at the next look.
    m_keeper.look();
}

void StationSelling::connectSession()
{
    connect(&m_keeper, &SessionKeeper::changed, this, &StationSelling::changed);
    connect(&m_help, &HelpCall::changed, this, &StationSelling::changed);
    connect(&m_keeper, &SessionKeeper::noteDue, this, &StationSelling::keep);
    connect(&m_ender, &GameEnder::noteChanged, this, &StationSelling::keep);
    connect(&m_keeper, &SessionKeeper::started, this, [this](const QString&, qint64 seconds, const QString&) {
        m_help.clear(); // a new customer
        m_headset.sendNotice(HeadsetNotice{HeadsetNotice::Kind::Started, seconds});
    });
    connect(&m_keeper, &SessionKeeper::warning, this, [this](qint64 secondsLeft) {
        m_headset.sendNotice(HeadsetNotice{HeadsetNotice::Kind::Warning, secondsLeft});
        m_headset.sendView();
        m_board.republish();
    });
    connect(&m_keeper, &SessionKeeper::endGame, &m_ender, &GameEnder::end);
    connect(&m_keeper, &SessionKeeper::madeReady, &m_help, &HelpCall::clear);
}

void StationSelling::connectHeadset(MqttClient& mqtt)
{
    connect(&m_headset, &HeadsetServer::changed, this, [this] {
        m_ender.setHeadsetProcess(m_headset.headsetPid());
        m_board.refresh();
    });
    connect(&m_headset, &HeadsetServer::runtimeReported, this, [this](const HeadsetRuntime& runtime) {
        m_ender.setHeadsetProcess(m_headset.headsetPid());
        m_ender.setSceneProcess(runtime.sceneProcess);
    });
    connect(&m_headset, &HeadsetServer::helpCalled, this,
            [this] { m_help.call(m_keeper.session() ? m_keeper.session()->id : QString()); });
    connect(&m_headset, &HeadsetServer::doneConfirmed, this, [this] {
        const Outcome ended = m_keeper.end(SessionEnd::Player);
        if (!ended.ok())
            m_headset.sendView(); // the headset's idea was stale: show it how things stand
    });
    // Whether a help call reaches the desk is what the headset says of it.
    connect(&mqtt, &MqttClient::stateChanged, &m_headset, &HeadsetServer::sendView);
}

void StationSelling::keep()
{
    if (!m_settings.statePath.isEmpty())
        m_state.save();
}

void StationSelling::changed()
{
    keep();
    m_board.refresh();
    m_headset.sendView();
}

HeadsetView StationSelling::view() const
{
    return HeadsetView{m_settings.session.language, m_keeper.view(), m_help.view(m_mqtt.isConnected()),
                       m_keeper.ready()};
}
