#pragma once

#include "brokerconfig.h"
#include "eventloopwait.h"
#include "venueprotocol.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A station PC for one test, around the real nerq-station: a home of its own (the XDG folders,
// a Steam folder when a Steam game is installed), the catalogue folder the program would run in,
// device blocks of its own (a block prefix of the test's plus the station's id), and a PATH on
// which xdg-open is a recorder. Native games made with nativeGame() record each start.
//
//   TestStation st01("st01", broker.addStation("st01"));
//   st01.writeCatalogue({TestStation::nativeEntry("orbit", st01.nativeGame("orbit"), 2)});
//   QVERIFY2(st01.start(), qPrintable(st01.log()));        // until it says it is connected
//   ... st01.launched() == QStringList{"orbit"}, st01.gameModeText() == "START2"
//
// The agent is killed when the object goes, whatever the test did.
class TestStation
{
public:
    TestStation(const QString& id, const QString& configFile);
    ~TestStation();
    TestStation(const TestStation&) = delete;
    TestStation& operator=(const TestStation&) = delete;

    const QString& id() const { return m_id; }
    QString catalogueDir() const { return m_dir.filePath("catalogue"); }
    QString home() const { return m_dir.filePath("home"); }

    // A catalogue entry in the program's form.
    static QByteArray nativeEntry(const QString& gameId, const QString& launcherPath, int mode,
                                  const QString& name = QString(), const QString& imgPath = QString());
    static QByteArray steamEntry(const QString& gameId, int appId, int mode, const QString& name = QString());
    // Both languages' catalogues, with these entries.
    void writeCatalogue(const QList<QByteArray>& entries);
    QByteArray catalogue(const QString& language = QStringLiteral("en")) const;
    // A launcher in game/native/ that records the game's start; its launcherPath.
    QString nativeGame(const QString& name);
    // A Steam folder below the home, found as Steam's own, with this VR app fully installed.
    void installSteamGame(int appId, const QString& name);
    // A catalogue of one native game, "stubborn" (mode 2): the stubborn game below, noting in
    // stubbornNotes(). False when it cannot be written. Ended with the station, if it still runs.
    bool installStubbornGame();
    QString stubbornNotes() const { return home() + "/game"; }

    // Moves the agent's wall clock by this many seconds (libfaketime, from Debian's faketime),
    // from its next start on; its monotonic clock stays true, as a PC's does.
    void setClockOffset(int seconds) { m_clockOffset = seconds; }
    // From the next start on, the agent's wall clock follows moveClock() while it runs.
    void useMovableClock();
    // Sets the agent's wall clock this many seconds off the true time, at once.
    void moveClock(int seconds);
    // Adds lines to the station's station.conf (a [session] section).
    void addToConfig(const QByteArray& text);
    // An environment variable for the agent, from its next start on; an empty value takes it away.
    void setEnvironment(const QString& name, const QString& value) { m_environment.insert(name, value); }
    // Where the agent's power-off and restart calls are noted: an agent under test never reaches
    // the real ones.
    QString powerNotes() const { return m_dir.filePath("power-notes"); }
    // The agent's state folder (its journal of commands, its outbox of events).
    QString stateDir() const { return home() + "/.local/state/nerqvrplatform"; }

    // Starts nerq-station (the built one) and waits, at most 10 s, until it says it is connected.
    bool start();
    // Starts it without waiting for a connection.
    bool launch();
    void stop();  // SIGTERM, as its user service is stopped; waits for it to end
    void kill();  // SIGKILL: a station that dies
    void pause(); // SIGSTOP: a station frozen, its connection still open
    void resume();
    bool isRunning() const { return m_agent.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_agent.processId(); }
    QString log() const;
    bool waitForLog(const QString& text, int msecs = 10000) const;

    // What the station started: native games by name, in order, and what went to xdg-open.
    QStringList launched() const;
    QStringList opened() const;
    // The game-mode block's text ("START2"), and whether a calibration request is in its block.
    QString gameModeText() const;
    bool calibrationRequested() const;
    QString blockPrefix() const;

private:
    QProcessEnvironment environment() const;

    QString m_id;
    QString m_config;
    QTemporaryDir m_dir;
    QProcess m_agent;
    QMap<int, QString> m_steamApps;
    int m_clockOffset = 0;
    bool m_movableClock = false;
    QMap<QString, QString> m_environment;
};

// libfaketime's library, or empty when Debian's faketime is not installed.
QString fakeTimeLibrary();

// The line of nerq-venue's output about `station`.
QString lineFor(const QString& output, const QString& station);
// The desk's view of one station, fresh from the broker; empty when it cannot be had.
StationStatus statusOf(const BrokerConfig& desk, const QString& station);

// A game that notes its pid in `notes`/pid and, when asked to end, that it was (`notes`/ended); it
// never ends by itself. Returns `path`, or empty when it cannot be written.
QString writeStubbornGame(const QString& path, const QString& notes);

// Ends the stubborn game whose pid is noted in `notes`, if it still runs: in a session of its own,
// it would outlive the agent and the test.
void reapStubbornGame(const QString& notes);

// Makes `dir` (mode 0700) the runtime folder of this process and of the agents it starts, so that
// their local sockets meet there and nowhere else. False when the folder could not be made.
bool usePrivateRuntimeDir(const QTemporaryDir& dir);
