// The station agent end to end: a real broker from nerq-venue init, real nerq-station agents with
// device blocks of their own, and the desk as nerq-venue (or, for what nerq-venue never sends,
// as a client of the desk's credentials).

#include "desksession.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

QString lineFor(const QString& output, const QString& station)
{
    for (const QString& line : output.split('\n')) {
        if (line.startsWith(station + ':') || line.startsWith(station + ' '))
            return line;
    }
    return {};
}

// The desk's view of one station, fresh from the broker.
StationStatus statusOf(const BrokerConfig& desk, const QString& station)
{
    DeskSession session(desk);
    QString error;
    if (!session.open(5000, &error))
        return {};
    const StationStatus status = session.stations().value(station);
    session.close();
    return status;
}

} // namespace

class StationAgentTest : public QObject
{
    Q_OBJECT

private slots:
    void launchesAndCalibratesLikeTheProgram();
    void commandRunsOnceThroughRedeliveryAndRestart();
    void offlineAndExpiredCommandsNeverRun();
    void brokerRestartAndLastWill();
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

    // A command that reaches a frozen station only after its expiry is never carried out: a
    // customer must not find a game starting long after the desk gave up.
    st02.pause();
    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    StationCommand late;
    late.id = "late";
    late.command = "launch";
    late.gameId = "orbit";
    late.expires = nowMs() + 500;
    QVERIFY(desk.mqtt().publish(VenueTopics::commands("st02"), late.toJson(), false, 60) >= 0);
    QTest::qWait(1500);
    st02.resume();
    QVERIFY2(st02.waitForLog("Command late (launch orbit", 5000), qPrintable(st02.log()));
    QVERIFY2(st02.log().contains("expired"), qPrintable(st02.log()));
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
    QVERIFY(statusOf(broker.desk(), "st01").online);
    QVERIFY(statusOf(broker.desk(), "st02").online);
    QVERIFY2(waitUntil([&] { return statusOf(broker.desk(), "st03").online; }, 5000), qPrintable(st03.log()));

    // The broker keeps the last status across its own restart.
    st02.stop();
    broker.stop();
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    const StationStatus kept = statusOf(broker.desk(), "st02");
    QCOMPARE(kept.station, QString("st02"));
    QVERIFY(!kept.online);
}

QTEST_GUILESS_MAIN(StationAgentTest)
#include "tst_stationagent.moc"
