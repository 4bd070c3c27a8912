// The station agent end to end: a real broker from nerq-venue init, real nerq-station agents with
// device blocks of their own, and the desk as nerq-venue (or, for what nerq-venue never sends,
// as a client of the desk's credentials).

#include "desksession.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A file held under a write lease: whoever opens it waits until the holder lets go (or the
// system's lease-break time, 45 s by default, has passed), as on a drive that does not answer.
class HeldFile
{
public:
    explicit HeldFile(const QString& path)
    {
        ::signal(SIGIO, SIG_IGN); // the system's word that someone waits
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        if (m_fd >= 0 && ::fcntl(m_fd, F_SETLEASE, F_WRLCK) != 0)
            release();
    }
    ~HeldFile() { release(); }
    bool held() const { return m_fd >= 0; }
    // Someone is waiting to open it.
    bool waitedFor() const { return m_fd >= 0 && ::fcntl(m_fd, F_GETLEASE) != F_WRLCK; }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// The desk as a client of its own, noting every result.
struct DeskWatch {
    explicit DeskWatch(const BrokerConfig& config)
        : session(config)
    {
        QObject::connect(&session.mqtt(), &MqttClient::messageReceived,
                         [this](const QString& topic, const QByteArray& payload) {
                             CommandResult result;
                             QString error;
                             if (topic.endsWith("/results") && CommandResult::parse(payload, &result, &error))
                                 results << result;
                         });
    }
    bool send(const QString& station, const QString& id, const QString& command, const QString& gameId = {})
    {
        StationCommand sent;
        sent.id = id;
        sent.command = command;
        sent.gameId = gameId;
        sent.expires = nowMs() + 60000;
        return session.mqtt().publish(VenueTopics::commands(station), sent.toJson(), false) >= 0;
    }
    const CommandResult* result(const QString& id) const
    {
        for (const CommandResult& answer : results) {
            if (answer.id == id)
                return &answer;
        }
        return nullptr;
    }

    DeskSession session;
    QList<CommandResult> results;
};

} // namespace

class StationAgentTest : public QObject
{
    Q_OBJECT

private slots:
    void launchesAndCalibratesLikeTheProgram();
    void commandRunsOnceThroughRedeliveryAndRestart();
    void offlineAndExpiredCommandsNeverRun();
    void brokerRestartAndLastWill();
    void aLaunchIsAnsweredWhileAScanHangs();
    void aLauncherThatCannotStartIsAFailure();
};

void StationAgentTest::launchesAndCalibratesLikeTheProgram()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    TestStation st02("st02", broker.addStation("st02"));
    for (TestStation* station : {&st01, &st02}) {
        station->writeCatalogue({TestStation::nativeEntry("orbit", station->nativeGame("orbit"), 2),
                                 TestStation::steamEntry("halflife", 546560, 3)});
        QVERIFY2(station->start(), qPrintable(station->log()));
    }

    int status = -1;
    QString output = broker.runDesk({"launch", "orbit", "--station", "st01,st02"}, &status);
    QCOMPARE(status, 0);
    QVERIFY2(lineFor(output, "st01").contains("started"), qPrintable(output));
    QVERIFY2(lineFor(output, "st02").contains("started"), qPrintable(output));
    for (TestStation* station : {&st01, &st02}) {
        QVERIFY2(waitUntil([&] { return station->launched() == QStringList{"orbit"}; }, 5000),
                 qPrintable(station->launched().join(',')));
        // The mode goes after the launch, as a tile click hands it on.
        QCOMPARE(station->gameModeText(), QString("START2"));
    }

    output = broker.runDesk({"launch", "halflife", "--all"}, &status);
    QCOMPARE(status, 0);
    // The answer comes once xdg-open is started; it notes the URI a moment later.
    QVERIFY2(waitUntil([&] { return !st01.opened().isEmpty(); }, 5000), qPrintable(st01.log()));
    QCOMPARE(st01.opened(), QStringList{"steam://launch/546560/Vr"});
    QCOMPARE(st02.gameModeText(), QString("START3"));
    StationStatus afterSteam;
    // The status follows the answer.
    waitUntil([&] { return (afterSteam = statusOf(broker.desk(), "st01")).runningGame == "halflife"; }, 5000);
    QCOMPARE(afterSteam.runningGame, QString("halflife"));
    QVERIFY(afterSteam.lastLaunch && afterSteam.lastLaunch->gameId == "halflife");

    output = broker.runDesk({"calibrate", "--all"}, &status);
    QCOMPARE(status, 0);
    QVERIFY(st01.calibrationRequested() && st02.calibrationRequested());

    // The device service makes its quit-flag block when it starts; the desk sees it come.
    QVERIFY(!statusOf(broker.desk(), "st02").deviceService);
    QFile quitFlag("/dev/shm/" + st02.blockPrefix() + "NerqVRPlatform");
    QVERIFY(quitFlag.open(QIODevice::WriteOnly));
    quitFlag.write(QByteArray(1, '\0'));
    quitFlag.close();
    QVERIFY(waitUntil([&] { return statusOf(broker.desk(), "st02").deviceService; }, 6000));
    QVERIFY(!statusOf(broker.desk(), "st01").deviceService);
    quitFlag.remove();

    // A game one station does not list fails there alone, and says why.
    st02.writeCatalogue({TestStation::nativeEntry("orbit", st02.nativeGame("orbit"), 2),
                         TestStation::nativeEntry("reef", st02.nativeGame("reef"), 5)});
    output = broker.runDesk({"launch", "reef", "--all"}, &status);
    QCOMPARE(status, 1);
    QVERIFY2(lineFor(output, "st01").contains("no game \"reef\""), qPrintable(output));
    QVERIFY2(lineFor(output, "st02").contains("started"), qPrintable(output));
    QCOMPARE(st02.gameModeText(), QString("START5"));
}

void StationAgentTest::commandRunsOnceThroughRedeliveryAndRestart()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    st01.writeCatalogue({TestStation::nativeEntry("orbit", st01.nativeGame("orbit"), 2)});
    QVERIFY2(st01.start(), qPrintable(st01.log()));

    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    QList<CommandResult> results;
    QObject::connect(&desk.mqtt(), &MqttClient::messageReceived, [&](const QString& topic, const QByteArray& payload) {
        CommandResult result;
        if (topic == VenueTopics::results("st01") && CommandResult::parse(payload, &result, &error))
            results << result;
    });
    const auto publish = [&](const QByteArray& payload) {
        return desk.mqtt().publish(VenueTopics::commands("st01"), payload, false) >= 0;
    };

    // Hostile payloads first: each gets an answer, none stops the agent.
    QByteArray deep(100000, '[');
    for (const QByteArray& bad : {QByteArray("not json"), deep, QByteArray(R"({"id": 5, "command": "launch"})"),
                                  QByteArray(R"({"id": "x1", "command": "reboot", "expires": 9e15})")})
        QVERIFY(publish(bad));
    QVERIFY(desk.mqtt().publish(VenueTopics::catalogue(), deep, false) >= 0);
    QVERIFY2(desk.waitUntil([&] { return results.size() == 4; }, 5000), qPrintable(st01.log()));
    for (const CommandResult& result : results)
        QVERIFY2(!result.ok && !result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(results.last().id, QString("x1"));
    QVERIFY(st01.isRunning());

    // QoS 1 may deliver a command twice: the game starts once, the answer comes twice.
    StationCommand launch;
    launch.id = "launch-once";
    launch.command = "launch";
    launch.gameId = "orbit";
    launch.expires = nowMs() + 60000;
    results.clear();
    QVERIFY(publish(launch.toJson()));
    QVERIFY(publish(launch.toJson()));
    QVERIFY2(desk.waitUntil([&] { return results.size() == 2; }, 5000), qPrintable(st01.log()));
    // cppcheck-suppress containerOutOfBounds ; filled by the client's signal while waiting
    QVERIFY(results[0].ok && results[1].ok);
    // The answer comes once the launcher is started, not once it has run; a second start would
    // show within the pause.
    QVERIFY2(desk.waitUntil([&] { return !st01.launched().isEmpty(); }, 5000), qPrintable(st01.log()));
    QTest::qWait(500);
    QCOMPARE(st01.launched(), QStringList{"orbit"});

    // A station that dies is shown offline by the broker; started again, it remembers.
    st01.kill();
    QVERIFY2(desk.waitUntil([&] { return !desk.stations().value("st01").online; }, 15000), "no last will");
    QVERIFY2(st01.start(), qPrintable(st01.log()));
    QVERIFY(desk.waitUntil([&] { return desk.stations().value("st01").online; }, 5000));
    results.clear();
    QVERIFY(publish(launch.toJson()));
    QVERIFY2(desk.waitUntil([&] { return !results.isEmpty(); }, 5000), qPrintable(st01.log()));
    // cppcheck-suppress containerOutOfBounds ; filled by the client's signal while waiting
    QVERIFY(results.first().ok);
    QTest::qWait(500);
    QCOMPARE(st01.launched(), QStringList{"orbit"});
    desk.close();
}

void StationAgentTest::offlineAndExpiredCommandsNeverRun()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    TestStation st02("st02", broker.addStation("st02"));
    for (TestStation* station : {&st01, &st02}) {
        station->writeCatalogue({TestStation::nativeEntry("orbit", station->nativeGame("orbit"), 2)});
        QVERIFY2(station->start(), qPrintable(station->log()));
    }

    // Stopped, the station says so itself; the desk refuses at once rather than queue.
    st01.stop();
    int status = -1;
    QElapsedTimer clock;
    clock.start();
    QString output = broker.runDesk({"launch", "orbit", "--station", "st01", "--wait", "20"}, &status);
    QCOMPARE(status, 1);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString("took %1 ms").arg(clock.elapsed())));
    QVERIFY2(lineFor(output, "st01").contains("offline"), qPrintable(output));
    output = broker.runDesk({"launch", "orbit", "--station", "st09"}, &status);
    QCOMPARE(status, 1);
    QVERIFY2(lineFor(output, "st09").contains("unknown"), qPrintable(output));

    // A command that reaches a frozen station only after its lifetime is never carried out: a
    // customer must not find a game starting long after the desk gave up. The broker handed it
    // over at once; the time it lay unread in the frozen station counts.
    st02.pause();
    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    StationCommand late;
    late.id = "late";
    late.command = "launch";
    late.gameId = "orbit";
    late.expires = nowMs() + 60000;
    QVERIFY(desk.mqtt().publish(VenueTopics::commands("st02"), late.toJson(), false, 2) >= 0);
    QTest::qWait(3500);
    st02.resume();
    QVERIFY2(st02.waitForLog("Command late (launch orbit", 5000), qPrintable(st02.log()));
    QVERIFY2(st02.log().contains("waited unread"), qPrintable(st02.log()));
    QTest::qWait(300);
    QVERIFY(st02.launched().isEmpty());
    desk.close();
}

void StationAgentTest::brokerRestartAndLastWill()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    TestStation st02("st02", broker.addStation("st02"));
    for (TestStation* station : {&st01, &st02}) {
        station->writeCatalogue({});
        QVERIFY2(station->start(), qPrintable(station->log()));
    }

    // Down for a while: each agent says so once, not at every attempt; one started meanwhile
    // keeps trying as well.
    broker.stop();
    TestStation st03("st03", broker.addStation("st03"));
    st03.writeCatalogue({});
    QVERIFY(st03.launch());
    QTest::qWait(10000);
    for (TestStation* station : {&st01, &st02, &st03}) {
        QVERIFY(station->isRunning());
        QVERIFY2(station->log().count("trying again") <= 2, qPrintable(station->log()));
    }

    QElapsedTimer clock;
    clock.start();
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    QVERIFY2(
        waitUntil(
            [&] { return st01.log().count("Broker: connected") == 2 && st02.log().count("Broker: connected") == 2; },
            5000),
        qPrintable(st01.log() + st02.log()));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString("back after %1 ms").arg(clock.elapsed())));
    // Connected first, then the fresh status: on a slow machine it may come a moment later.
    for (TestStation* station : {&st01, &st02, &st03})
        QVERIFY2(waitUntil([&] { return statusOf(broker.desk(), station->id()).online; }, 5000),
                 qPrintable(station->log()));

    // The broker keeps the last status across its own restart.
    st02.stop();
    broker.stop();
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    const StationStatus kept = statusOf(broker.desk(), "st02");
    QCOMPARE(kept.station, QString("st02"));
    QVERIFY(!kept.online);
}

void StationAgentTest::aLaunchIsAnsweredWhileAScanHangs()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    st01.writeCatalogue({TestStation::nativeEntry("orbit", st01.nativeGame("orbit"), 2)});
    st01.installSteamGame(546560, "Half-Life: Alyx");
    QVERIFY2(st01.start(), qPrintable(st01.log()));
    DeskWatch desk(broker.desk());
    QString error;
    QVERIFY2(desk.session.open(5000, &error), qPrintable(error));

    // Steam's library list lies on a drive that does not answer: the scan waits in its open.
    HeldFile list(st01.home() + "/.steam/steam/steamapps/libraryfolders.vdf");
    QVERIFY(list.held());
    QVERIFY(desk.send("st01", "scan-1", "scan"));
    QVERIFY2(desk.session.waitUntil([&] { return list.waitedFor(); }, 5000), qPrintable(st01.log()));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(desk.send("st01", "launch-1", "launch", "orbit"));
    QVERIFY2(desk.session.waitUntil([&] { return desk.result("launch-1"); }, 5000), qPrintable(st01.log()));
    const qint64 answeredMs = clock.elapsed();
    QVERIFY2(desk.result("launch-1")->ok, qPrintable(desk.result("launch-1")->error));
    QVERIFY2(answeredMs < 100, qPrintable(QString("the launch was answered after %1 ms").arg(answeredMs)));
    // One scan at a time: another is refused at once rather than queued behind the hung one.
    QVERIFY(desk.send("st01", "scan-2", "scan"));
    QVERIFY(desk.session.waitUntil([&] { return desk.result("scan-2"); }, 5000));
    QVERIFY2(desk.result("scan-2")->error.contains("a scan is running already"),
             qPrintable(desk.result("scan-2")->error));
    QVERIFY(!desk.result("scan-1"));

    // The drive answers: the scan ends, and its game is there.
    list.release();
    QVERIFY2(desk.session.waitUntil([&] { return desk.result("scan-1"); }, 10000), qPrintable(st01.log()));
    QVERIFY2(desk.result("scan-1")->ok, qPrintable(desk.result("scan-1")->error));
    QVERIFY2(st01.catalogue().contains("\"steamGameId\": 546560"), st01.catalogue().constData());
    desk.session.close();
}

void StationAgentTest::aLauncherThatCannotStartIsAFailure()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    // Its interpreter is gone: the launcher exists, and nothing starts.
    QVERIFY(QDir().mkpath(st01.catalogueDir() + "/game/native"));
    QFile launcher(st01.catalogueDir() + "/game/native/broken.sh");
    QVERIFY(launcher.open(QIODevice::WriteOnly));
    launcher.write("#!/nonexistent/interpreter\n");
    launcher.close();
    launcher.setPermissions(launcher.permissions() | QFile::ExeOwner | QFile::ExeUser);
    st01.writeCatalogue({TestStation::nativeEntry("broken", "./game/native/broken.sh", 2)});
    QVERIFY2(st01.start(), qPrintable(st01.log()));

    int status = -1;
    const QString output = broker.runDesk({"launch", "broken", "--station", "st01"}, &status);
    QVERIFY2(status == 1 && lineFor(output, "st01").contains("FAILED: not started: ./game/native/broken.sh"),
             qPrintable(output));
    const StationStatus after = statusOf(broker.desk(), "st01");
    QVERIFY(after.runningGame.isEmpty());
    QVERIFY(!after.lastLaunch);
}

QTEST_GUILESS_MAIN(StationAgentTest)
#include "tst_stationagent.moc"
