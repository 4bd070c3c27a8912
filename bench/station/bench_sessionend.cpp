// The agent's session parts as nerq-station runs them: from time's up (no grace) to the game's
// process gone, over sessions of 1 s each whose game is a process in a session of its own that
// ends when asked; then a session's end against the monotonic clock, once as is and once with
// the wall clock moved an hour forward and back while it runs. Arguments: [sessions] [seconds of
// the timed session].

#include "agentclock.h"
#include "gameender.h"
#include "sessionkeeper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The system's clocks, but a wall clock that can be moved.
class MovableClock : public AgentClock
{
public:
    qint64 wallMs() const override { return AgentClock::wallMs() + offsetMs; }
    qint64 offsetMs = 0;
};

SessionSettings noGrace()
{
    SessionSettings settings;
    settings.warnings.clear();
    settings.graceSeconds = 0;
    return settings;
}

// Milliseconds from time's up to the game's process gone.
double endOne(const AgentClock& clock, int round)
{
    QProcess game;
    game.start("setsid", {"sh", "-c", "trap 'exit 0' TERM; while :; do sleep 0.05; done"});
    game.waitForStarted();
    SessionKeeper keeper(noGrace(), clock);
    GameEnder ender(QDir::tempPath());
    ender.noteStarted("bench", game.processId());
    QObject::connect(&keeper, &SessionKeeper::endGame, &ender, &GameEnder::end);
    QElapsedTimer since;
    QObject::connect(&keeper, &SessionKeeper::timeUp, [&] { since.start(); });
    keeper.start(QString("bench-%1").arg(round), 1, "bench");
    QEventLoop loop;
    QObject::connect(&game, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return since.isValid() && game.state() == QProcess::NotRunning ? since.nsecsElapsed() / 1e6 : -1;
}

// How far after its monotonic end time's up came, in ms.
double endError(MovableClock& clock, int seconds, bool moveWall)
{
    SessionKeeper keeper(noGrace(), clock);
    QElapsedTimer since;
    double error = 0;
    QEventLoop loop;
    QObject::connect(&keeper, &SessionKeeper::timeUp, [&] {
        error = since.nsecsElapsed() / 1e6 - seconds * 1000.0;
        loop.quit();
    });
    if (moveWall) {
        QTimer::singleShot(seconds * 250, [&] { clock.offsetMs = 3600 * 1000; });
        QTimer::singleShot(seconds * 500, [&] { clock.offsetMs = -3600 * 1000; });
    }
    since.start();
    keeper.start("timed", seconds, QString());
    loop.exec();
    clock.offsetMs = 0;
    return error;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    MovableClock clock;
    std::vector<double> times;
    for (int round = 0; round < sessions; ++round)
        times.push_back(endOne(clock, round));
    std::sort(times.begin(), times.end());
    std::printf("time's up (grace 0) to the game's process gone, %d sessions: p50 %.1f ms, worst %.1f ms%s\n", sessions,
                times[times.size() / 2], times.back(), times.front() < 0 ? " (some never ended)" : "");
    std::printf("a %d s session's end after its monotonic end: %.1f ms\n", seconds, endError(clock, seconds, false));
    std::printf("the same, the wall clock moved an hour forward and back meanwhile: %.1f ms\n",
                endError(clock, seconds, true));
    return 0;
}
