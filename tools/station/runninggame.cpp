#include "runninggame.h"

#include "agentclock.h"
#include "gameitem.h"
#include "gameprocesses.h"
#include "stationgames.h"

#include <utility>

RunningGame::RunningGame(QString catalogueDir, const AgentClock& clock)
    : m_dir(std::move(catalogueDir))
    , m_clock(clock)
{}

void RunningGame::started(const GameItem& game, const ShellOpen::Opened& opened, const QString& by,
                          const QString& session)
{
    if (!m_playing.isEmpty())
        ended("gone");
    m_playing = game.gameId();
    m_endingFor.clear();
    if (m_note)
        m_note(
            "game-started",
            {{"gameId", m_playing}, {"by", by}, {"session", session.isEmpty() ? QJsonValue() : QJsonValue(session)}});
    m_lastLaunch = Launch{game.gameId(), m_clock.wallMs(), by};
    m_announced = game.gameId();
    if (game.isNative()) {
        m_nativeGame = game.gameId();
        m_nativeProcess = opened.process;
        m_nativeMark = GameProcesses::startMark(opened.process);
        m_steamGame.clear();
    } else {
        m_steamGame = game.gameId();
        m_steamStartedAt = m_clock.monotonicMs();
    }
    emit gameStarted(game.gameId(), by, game.isNative() ? opened.process : 0);
}

void RunningGame::addTo(QJsonObject& status)
{
    const int steamApp = GameProcesses::steamRunningAppId();
    QString running = look(steamApp);
    if (!m_announced.isEmpty())
        running = std::exchange(m_announced, QString());
    else if (!m_playing.isEmpty() && running != m_playing)
        ended(m_endingFor.isEmpty() ? QStringLiteral("player") : m_endingFor);
    status.insert("runningGame", running.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(running));
    status.insert("steamRunningAppId", steamApp);
    if (m_lastLaunch)
        status.insert(
            "lastLaunch",
            QJsonObject{{"gameId", m_lastLaunch->gameId}, {"at", double(m_lastLaunch->at)}, {"by", m_lastLaunch->by}});
    else
        status.insert("lastLaunch", QJsonValue(QJsonValue::Null));
}

QString RunningGame::look(int steamApp)
{
    QString running;
    if (steamApp != 0) {
        running = StationGames(m_dir).steamGame(steamApp);
        m_steamGame.clear(); // Steam's own word from now on
    } else if (!m_nativeGame.isEmpty() && GameProcesses::running(m_nativeProcess, m_nativeMark)) {
        running = m_nativeGame;
    } else if (!m_steamGame.isEmpty() && m_clock.monotonicMs() - m_steamStartedAt < kSteamStartGraceMs) {
        running = m_steamGame;
    }
    if (running != m_nativeGame)
        m_nativeGame.clear();
    return running;
}

void RunningGame::ended(const QString& reason)
{
    if (m_note)
        m_note("game-ended", {{"gameId", m_playing}, {"reason", reason}});
    m_playing.clear();
    m_endingFor.clear();
}

void RunningGame::addToWill(QJsonObject& will)
{
    will.insert("runningGame", QJsonValue(QJsonValue::Null));
    will.insert("steamRunningAppId", 0);
}
