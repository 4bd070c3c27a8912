#include "stationactions.h"

#include "calibrationmanager.h"
#include "cataloguefollower.h"
#include "cataloguework.h"
#include "commandrunner.h"
#include "deviceblocks.h"
#include "gameitem.h"
#include "gamestart.h"
#include "runninggame.h"
#include "sharedmemorycore.h"
#include "stationgames.h"
#include "steamscan.h"

#include <easylogging++.h>

#include <QRegularExpression>
#include <QTextStream>

namespace {

struct ScanRun {
    int status = 0;
    QString out;
    QString err;
};

ScanRun runSteamScan(const ScanOptions& options)
{
    ScanRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runScan(options, out, err);
    out.flush();
    err.flush();
    return run;
}

// The scan's own last word on a failure, without the tool's name before it.
Outcome scanOutcome(const ScanRun& run)
{
    for (const QString& line : (run.out + run.err).split('\n', Qt::SkipEmptyParts))
        LOG(INFO) << "scan: " << line.toStdString();
    if (run.status == 0)
        return Outcome::done();
    QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return Outcome::failed(QString("the Steam scan failed (status %1)").arg(run.status));
    return Outcome::failed(lines.last().remove(QRegularExpression("^nerq-catalogue: ")));
}

} // namespace

StationActions::StationActions(const StationSettings& settings, RunningGame& game, CatalogueFollower& follower,
                               CatalogueWork& work)
    : m_settings(settings)
    , m_game(game)
    , m_follower(follower)
    , m_work(work)
    , m_calibration(std::make_unique<CalibrationManager>())
{}

StationActions::~StationActions() = default;

void StationActions::open()
{
    m_calibrationOpen = m_calibration->initialize() == 0;
}

void StationActions::offer(CommandRunner& commands)
{
    commands.offer("launch", [this](const StationCommand& command, const CommandRunner::Reply& reply) {
        reply(launch(command).outcome);
    });
    commands.offer("calibrate",
                   [this](const StationCommand&, const CommandRunner::Reply& reply) { reply(calibrate()); });
    commands.offer("scan", [this](const StationCommand&, const CommandRunner::Reply& reply) { scan(reply); });
}

void StationActions::addTo(QJsonObject& status) const
{
    status.insert("deviceService", sharedMemoryExists(DeviceBlocks::quitFlagName));
}

StationActions::Launch StationActions::launch(const StationCommand& command)
{
    const StationGames games(m_settings.catalogueDir);
    const GameItem* game = games.find(command.gameId);
    if (!game)
        return {Outcome::failed("no game \"" + command.gameId + "\" in this station's catalogue"), false};
    const GameStart started = startGame(*game);
    // The program does not look; the desk must not be told a game runs that never started.
    if (started.opened.how == ShellOpen::Opened::How::Failed)
        return {Outcome::failed("not started: " + started.opened.error), false};
    // A session's own game belongs to it, though the session starts only once the game has.
    const QString session = command.command == QLatin1String("session-start") ? command.id : QString();
    m_game.started(*game, started.opened, command.by.isEmpty() ? QStringLiteral("desk") : command.by, session);
    if (!started.modeError.isEmpty())
        return {Outcome::failed("started, but its game mode did not reach the device service: " + started.modeError),
                true};
    return {Outcome::done(), true};
}

Outcome StationActions::calibrate()
{
    if (!m_calibrationOpen)
        open();
    if (!m_calibrationOpen)
        return Outcome::failed("the device service's calibration block cannot be opened");
    m_calibration->Calibration();
    return Outcome::done();
}

void StationActions::scan(Done done)
{
    // A scan that waits on a hung drive must not pile others up behind it.
    if (m_scanning) {
        done(Outcome::failed("a scan is running already; not started again"));
        return;
    }
    m_scanning = true;
    const Done finished = [this, done](const Outcome& outcome) {
        m_scanning = false;
        done(outcome);
    };
    if (m_follower.following())
        m_follower.reapply(finished);
    else
        steamScan(finished);
}

void StationActions::steamScan(Done done)
{
    ScanOptions options;
    options.catalogueDir = m_settings.catalogueDir;
    options.steamRoots = m_settings.steamRoots;
    m_work.post(
        [options, done]() -> CatalogueWork::Then {
            const ScanRun run = runSteamScan(options);
            return [run, done] { done(scanOutcome(run)); };
        },
        [done](const QString& error) { done(Outcome::failed("the Steam scan stopped: " + error)); });
}
