#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

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
};

// Runs the event loop until `done` or `msecs` passed; returns done().
bool waitUntil(const std::function<bool()>& done, int msecs);
