#include "stationagent.h"

#include "calibrationmanager.h"
#include "catalogue.h"
#include "deviceblocks.h"
#include "gameitem.h"
#include "gameprocesses.h"
#include "gamestart.h"
#include "mqttclient.h"
#include "sharedmemorycore.h"
#include "steamscan.h"

#include <easylogging++.h>

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>

#include <utility>

namespace {

// The games the station's program shows: those of data_en.json, then those only data_cn.json
// lists. Read afresh each time, as the program reads them.
class StationGames
{
public:
    explicit StationGames(const QString& catalogueDir)
    {
        const QDir dir(catalogueDir);
        m_catalogues[0].readFile(dir.absoluteFilePath("game/data_en.json"));
        m_catalogues[1].readFile(dir.absoluteFilePath("game/data_cn.json"));
    }

    const GameItem* find(const QString& gameId) const
    {
        for (const Catalogue& catalogue : m_catalogues) {
            for (int i = 0; i < catalogue.size(); ++i) {
                const GameItem* game = catalogue.game(i);
                if (game && game->gameId() == gameId)
                    return game;
            }
        }
        return nullptr;
    }

    QString steamGame(int appId) const
    {
        for (const Catalogue& catalogue : m_catalogues) {
            for (int i = 0; i < catalogue.size(); ++i) {
                const GameItem* game = catalogue.game(i);
                if (game && !game->isNative() && game->steamGameId() == appId)
                    return game->gameId();
            }
        }
        return {};
    }

private:
    Catalogue m_catalogues[2];
};

std::string text(const QString& value)
{
    return value.toStdString();
}

} // namespace

StationAgent::StationAgent(MqttClient& mqtt, StationSettings settings)
    : m_mqtt(mqtt)
    , m_settings(std::move(settings))
    , m_journal(m_settings.journalPath)
    , m_follower(mqtt, m_settings.catalogueDir, m_settings.steamRoots)
    , m_calibration(std::make_unique<CalibrationManager>())
{
    m_status.station = m_settings.station;
    m_status.version = m_settings.version;
    m_status.host = m_settings.host;
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &StationAgent::poll);
    connect(&m_mqtt, &MqttClient::connected, this, &StationAgent::connected);
    connect(&m_mqtt, &MqttClient::messageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool) { handleMessage(topic, payload); });
    connect(&m_mqtt, &MqttClient::stopped, this, &StationAgent::stopped);
    connect(&m_follower, &CatalogueFollower::changed, this, [this] {
        m_status.catalogueRevision = m_follower.revision();
        m_status.hiddenGames = m_follower.hidden();
        publishStatus();
    });
}

StationAgent::~StationAgent() = default;

void StationAgent::start()
{
    QString warning;
    if (!m_journal.load(&warning))
        LOG(WARNING) << text(warning);
    m_calibrationOpen = m_calibration->initialize() == 0;
    m_follower.restore();
    m_status.catalogueRevision = m_follower.revision();
    m_status.hiddenGames = m_follower.hidden();
    poll();
    m_mqtt.subscribe(VenueTopics::commands(m_settings.station));
    m_mqtt.subscribe(VenueTopics::catalogue());
    updateWill();
    m_pollTimer.start();
    m_mqtt.start();
}

void StationAgent::stop()
{
    m_pollTimer.stop();
    if (m_mqtt.isConnected()) {
        m_status.online = false;
        m_status.since = nowMs();
        m_mqtt.publish(VenueTopics::status(m_settings.station), m_status.toJson(), true);
    }
    m_mqtt.stop();
}

void StationAgent::connected()
{
    // The first message after a connect says "online" again with everything current.
    m_status.online = true;
    m_status.since = nowMs();
    m_published.clear();
    publishStatus();
}

void StationAgent::poll()
{
    const int steamApp = GameProcesses::steamRunningAppId();
    QString running;
    if (steamApp != 0) {
        running = StationGames(m_settings.catalogueDir).steamGame(steamApp);
        m_steamGame.clear(); // Steam's own word from now on
    } else if (!m_nativeGame.isEmpty() && GameProcesses::running(m_nativeProcess, m_nativeMark)) {
        running = m_nativeGame;
    } else if (!m_steamGame.isEmpty() && nowMs() - m_steamLaunchedAt < kSteamStartGraceMs) {
        running = m_steamGame;
    }
    if (running != m_nativeGame)
        m_nativeGame.clear();
    m_status.steamRunningAppId = steamApp;
    m_status.runningGame = running;
    m_status.deviceService = sharedMemoryExists(DeviceBlocks::quitFlagName);
    publishStatus();
}

void StationAgent::publishStatus()
{
    // Most looks find nothing new; nothing is written then.
    if (m_status == m_lastStatus && !m_published.isEmpty())
        return;
    updateWill();
    if (!m_status.online)
        return;
    const QByteArray payload = m_status.toJson();
    if (m_mqtt.publish(VenueTopics::status(m_settings.station), payload, true) >= 0) {
        m_published = payload;
        m_lastStatus = m_status;
    }
}

void StationAgent::updateWill()
{
    // What the broker says for us when the connection dies: the state as it was, offline.
    StationStatus will = m_status;
    will.online = false;
    will.since = 0;
    will.runningGame.clear();
    will.steamRunningAppId = 0;
    will.deviceService = false;
    m_mqtt.setWill(VenueTopics::status(m_settings.station), will.toJson());
}

void StationAgent::handleMessage(const QString& topic, const QByteArray& payload)
{
    if (topic == VenueTopics::commands(m_settings.station))
        handleCommand(payload);
    else if (topic == VenueTopics::catalogue())
        m_follower.handleCatalogue(payload);
    else if (!VenueTopics::pictureOf(topic).isEmpty())
        m_follower.handlePicture(VenueTopics::pictureOf(topic), payload);
    else
        LOG(WARNING) << "A message on " << text(topic) << ", which this station does not read; dropped";
}

void StationAgent::handleCommand(const QByteArray& payload)
{
    StationCommand command;
    QString error;
    if (!StationCommand::parse(payload, &command, &error)) {
        LOG(WARNING) << "Command " << (command.id.isEmpty() ? std::string("without an id") : text(command.id))
                     << " refused: " << text(error);
        publishResult({command.id, m_settings.station, false, error, nowMs()});
        return;
    }
    if (const auto done = m_journal.find(command.id)) {
        // Delivered again: the same answer, nothing carried out twice.
        LOG(INFO) << "Command " << text(command.id) << " was taken on before; not carried out again";
        CommandResult result{command.id, m_settings.station, false,
                             "the agent stopped while carrying it out; not carried out again", nowMs()};
        if (done->result.isEmpty() || !CommandResult::parse(done->result, &result, &error))
            publishResult(result);
        else
            m_mqtt.publish(VenueTopics::results(m_settings.station), done->result, false);
        return;
    }
    const CommandResult result = carryOut(command);
    // The desk hears first; the state that changed and the note of the answer follow.
    publishResult(result);
    publishStatus();
    if (!m_journal.finish(command.id, result.toJson(), &error))
        LOG(ERROR) << "Could not note the result of command " << text(command.id) << ": " << text(error);
}

CommandResult StationAgent::carryOut(const StationCommand& command)
{
    CommandResult result{command.id, m_settings.station, false, {}, 0};
    const qint64 now = nowMs();
    QString error;
    if (!command.station.isEmpty() && command.station != m_settings.station) {
        result.error = "meant for station \"" + command.station + "\", not this one";
    } else if (now > command.expires) {
        // A customer must not find a game starting long after the desk gave up on it.
        result.error = QString("expired at %1, before it arrived; not carried out")
                           .arg(QDateTime::fromMSecsSinceEpoch(command.expires).toString("yyyy-MM-dd hh:mm:ss"));
    } else if (!m_journal.begin(command.id, command.expires, &error)) {
        result.error = "not carried out: the agent cannot note it, so it might run twice (" + error + ")";
    } else if (command.command == QLatin1String("launch")) {
        result.error = launch(command);
    } else if (command.command == QLatin1String("calibrate")) {
        result.error = calibrate();
    } else {
        result.error = scan();
    }
    result.ok = result.error.isEmpty();
    result.at = nowMs();
    LOG(INFO) << "Command " << text(command.id) << " (" << text(command.command)
              << (command.gameId.isEmpty() ? std::string() : " " + text(command.gameId)) << ", from "
              << text(command.by.isEmpty() ? QStringLiteral("desk") : command.by)
              << "): " << (result.ok ? std::string("done") : text(result.error));
    return result;
}

QString StationAgent::launch(const StationCommand& command)
{
    const StationGames games(m_settings.catalogueDir);
    const GameItem* game = games.find(command.gameId);
    if (!game)
        return "no game \"" + command.gameId + "\" in this station's catalogue";
    const GameStart started = startGame(*game);
    m_status.lastLaunch = LaunchRecord{game->gameId(), nowMs(), command.by.isEmpty() ? "desk" : command.by};
    if (game->isNative()) {
        m_nativeGame = game->gameId();
        m_nativeProcess = started.process;
        m_nativeMark = GameProcesses::startMark(started.process);
        m_steamGame.clear();
    } else {
        m_steamGame = game->gameId();
        m_steamLaunchedAt = nowMs();
    }
    m_status.runningGame = game->gameId();
    if (!started.modeError.isEmpty())
        return "started, but its game mode did not reach the device service: " + started.modeError;
    return {};
}

QString StationAgent::calibrate()
{
    if (!m_calibrationOpen)
        m_calibrationOpen = m_calibration->initialize() == 0;
    if (!m_calibrationOpen)
        return "the device service's calibration block cannot be opened";
    m_calibration->Calibration();
    return {};
}

QString StationAgent::scan()
{
    QString error;
    if (m_follower.following())
        return m_follower.reapply(&error) ? QString() : error;
    ScanOptions options;
    options.catalogueDir = m_settings.catalogueDir;
    options.steamRoots = m_settings.steamRoots;
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int exitStatus = runScan(options, outStream, errStream);
    outStream.flush();
    errStream.flush();
    for (const QString& line : (out + err).split('\n', Qt::SkipEmptyParts))
        LOG(INFO) << "scan: " << text(line);
    if (exitStatus == 0)
        return {};
    QStringList lines = err.split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return QString("the Steam scan failed (status %1)").arg(exitStatus);
    return lines.last().remove(QRegularExpression("^nerq-catalogue: "));
}

void StationAgent::publishResult(const CommandResult& result)
{
    if (m_mqtt.publish(VenueTopics::results(m_settings.station), result.toJson(), false) < 0)
        LOG(WARNING) << "The result of command " << text(result.id) << " could not be sent: not connected";
}
