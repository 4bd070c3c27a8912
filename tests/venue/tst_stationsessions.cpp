// Timed sessions on real nerq-station agents and a real broker: a session ends on time with the
// broker gone, outlives the agent killed mid-session, and keeps its length whatever the wall
// clock does; wrong and hostile session commands are refused and change nothing. A stand-in on
// the agent's local socket plays nerq-headset and notes what it is shown.

#include "desksession.h"
#include "headsetlink.h"
#include "mqttclient.h"
#include "sessiontesting.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLocalSocket>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class StationSessionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endsOnTimeWithTheBrokerGone();
    void outlivesTheAgent();
    void theWallClockNeitherAddsNorTakes();
    void wrongAndHostileCommandsChangeNothing();
    void theCustomerEndsItFromTheHeadset();

private:
    QTemporaryDir m_runtime{"/tmp/nerq-rt-XXXXXX"};
};

void StationSessionsTest::initTestCase()
{
    // The agent's socket and the stand-in's meet in a runtime folder of the test's own.
    QVERIFY(usePrivateRuntimeDir(m_runtime));
}

// No broker from just after the start to past the end: the station alone warns, calls time's up
// and, after the grace, ends the game it started, and that game only. Once the broker is back the
// desk sees the session ended by time.
void StationSessionsTest::endsOnTimeWithTheBrokerGone()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=4\ngrace=1\n");
    QVERIFY(st.installStubbornGame() && QDir().mkpath(st.home() + "/other"));
    // The same program, started by someone else: never the agent's to end.
    QProcess bystander;
    bystander.start(writeStubbornGame(st.home() + "/other/stubborn.sh", st.home() + "/other"), QStringList());
    QVERIFY(bystander.waitForStarted());
    QVERIFY2(st.start(), qPrintable(st.log()));
    HeadsetStandIn headset(st.id());
    QVERIFY(headset.connected());

    DeskSession desk(broker.desk());
    QString error;
    QVERIFY2(desk.open(5000, &error), qPrintable(error));
    const auto sent = desk.send({"st01"}, sessionStart("s1", "stubborn", 6), 10).value(0);
    QElapsedTimer since;
    since.start();
    QVERIFY2(sent.state == DeskSession::Outcome::Done, qPrintable(sent.error + st.log()));
    desk.close();
    QVERIFY2(waitUntil([&] { return exists(st.stubbornNotes() + "/pid"); }, 3000), qPrintable(st.log()));
    broker.stop();
    // The customer calls for help with nobody to hear it: the headset says to raise a hand.
    headset.send(HeadsetHelpCall().toJson());
    const qint64 calledAt = nowMs();
    QVERIFY2(waitUntil([&] { return headset.lastHelpState() == "unreachable"; }, 3000), qPrintable(st.log()));

    QVERIFY2(waitUntil([&] { return exists(st.stubbornNotes() + "/ended"); }, 10000), qPrintable(st.log()));
    const qint64 ended = since.elapsed();
    // 6 s bought and 1 s of grace; the TERM is noted within 100 ms of it.
    QVERIFY2(ended >= 6800 && ended < 8300, qPrintable(QString::number(ended) + '\n' + st.log()));
    QTest::qWait(300);
    QVERIFY2(!exists(st.home() + "/other/ended"), qPrintable(st.log()));
    QCOMPARE(bystander.state(), QProcess::Running);
    bystander.kill();
    bystander.waitForFinished();

    // Every notice reached the headset with the broker gone.
    QCOMPARE(noticesSeen(headset), QStringList({"started 6", "warning 4"}));
    QCOMPARE(headset.lastSessionState(), QString("ended"));

    QVERIFY2(broker.start(), qPrintable(broker.report()));
    std::optional<SessionStatus> session;
    const auto endedByNow = [&] {
        session = sessionOf(broker.desk(), "st01");
        return session && session->state == SessionState::Ended;
    };
    QVERIFY2(waitUntil(endedByNow, 10000), qPrintable(st.log()));
    QVERIFY(session->endReason == SessionEnd::Time && session->gameId == "stubborn");
    // The call reaches the desk with the time it was made.
    const StationStatus status = statusOf(broker.desk(), "st01");
    QVERIFY(!status.ready && status.help && !status.help->answered);
    QVERIFY2(qAbs(status.help->at - calledAt) < 1000, qPrintable(QString::number(status.help->at - calledAt)));
}

// Killed mid-session and started again with its state folder, the agent goes on to the same end;
// a session whose end passed while it was away is up at once.
void StationSessionsTest::outlivesTheAgent()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=\ngrace=0\n");
    st.writeCatalogue({});
    QVERIFY2(st.start(), qPrintable(st.log()));
    Results results(broker.desk(), "st01");
    QVERIFY(results.open());

    results.send("long", R"("command":"session-start","seconds":8)");
    QElapsedTimer since;
    since.start();
    QVERIFY2(results.of("long").ok, qPrintable(st.log()));
    QTest::qWait(2000);
    st.kill();
    QTest::qWait(1500);
    QVERIFY2(st.start(), qPrintable(st.log()));
    QVERIFY2(st.waitForLog("Session long goes on (running"), qPrintable(st.log()));
    const auto session = sessionOf(broker.desk(), "st01");
    QVERIFY(session && session->state == SessionState::Running);
    const qint64 left = 8 - since.elapsed() / 1000;
    QVERIFY2(qAbs(session->remainingSeconds - left) <= 1, qPrintable(QString::number(session->remainingSeconds)));
    QVERIFY2(st.waitForLog("Session long: time is up", 8000), qPrintable(st.log()));
    QVERIFY2(qAbs(since.elapsed() - 8000) < 1000, qPrintable(QString::number(since.elapsed())));

    results.send("clean", R"("command":"ready")");
    QVERIFY2(results.of("clean").ok, qPrintable(results.of("clean").error));
    results.send("short", R"("command":"session-start","seconds":2)");
    QVERIFY2(results.of("short").ok, qPrintable(st.log()));
    st.kill();
    QTest::qWait(3500);
    since.restart();
    QVERIFY(st.launch());
    QVERIFY2(st.waitForLog("Session short: time is up", 3000), qPrintable(st.log()));
    QVERIFY2(since.elapsed() < 1500, qPrintable(QString::number(since.elapsed())));
    QVERIFY2(st.waitForLog("Session short ended (time)"), qPrintable(st.log()));
}

// The wall clock moved an hour forward and an hour back while the session runs: it still ends
// when its time, counted on the monotonic clock, is up.
void StationSessionsTest::theWallClockNeitherAddsNorTakes()
{
    QVERIFY2(!fakeTimeLibrary().isEmpty(), "Debian's faketime is missing: run scripts/setup.sh");
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=\ngrace=0\n");
    st.writeCatalogue({});
    st.useMovableClock();
    QVERIFY2(st.start(), qPrintable(st.log()));
    Results results(broker.desk(), "st01");
    QVERIFY(results.open());
    results.send("moved", R"("command":"session-start","seconds":6)");
    QElapsedTimer since;
    since.start();
    QVERIFY2(results.of("moved").ok, qPrintable(st.log()));
    QTest::qWait(1500);
    st.moveClock(3600);
    QTest::qWait(1500);
    st.moveClock(-3600);
    QVERIFY2(st.waitForLog("Session moved: time is up", 8000), qPrintable(st.log()));
    QVERIFY2(qAbs(since.elapsed() - 6000) < 1000, qPrintable(QString::number(since.elapsed()) + '\n' + st.log()));
}

// Two staff at once, repeats, and commands no session can take: each refused with its reason.
void StationSessionsTest::wrongAndHostileCommandsChangeNothing()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.writeCatalogue({TestStation::nativeEntry("orbit", st.nativeGame("orbit"), 2)});
    QVERIFY2(st.start(), qPrintable(st.log()));
    Results results(broker.desk(), "st01");
    QVERIFY(results.open());

    const QList<std::pair<QString, QString>> refused{
        {R"("command":"session-start","seconds":0)", "seconds"},
        {R"("command":"session-start","seconds":-5)", "seconds"},
        {R"("command":"session-start","seconds":1000000000000)", "seconds"},
        {R"("command":"session-start","seconds":"ten")", "seconds"},
        {R"("command":"session-start","seconds":2.5)", "seconds"},
        {R"("command":"session-extend","seconds":60)", "no session runs"},
        {R"("command":"session-end")", "no session runs"},
        {R"("command":"help-answer")", "no help call"},
        {R"("command":"session-start","seconds":60,"gameId":"not_listed")", "no game \"not_listed\""}};
    for (int i = 0; i < refused.size(); ++i)
        results.send(QString("bad%1").arg(i), refused[i].first);
    for (int i = 0; i < refused.size(); ++i) {
        const CommandResult result = results.of(QString("bad%1").arg(i));
        QVERIFY2(!result.ok && result.error.contains(refused[i].second),
                 qPrintable(refused[i].first + " -> " + result.error));
    }
    QVERIFY(!sessionOf(broker.desk(), "st01"));
    QVERIFY(st.launched().isEmpty());

    // Two staff start a session at the same moment: one runs, the other is told why not.
    results.send("first", R"("command":"session-start","seconds":600,"gameId":"orbit")");
    results.send("second", R"("command":"session-start","seconds":300,"gameId":"orbit")");
    const CommandResult first = results.of("first");
    const CommandResult second = results.of("second");
    QVERIFY2(first.ok && !second.ok && second.error.contains("session first runs"), qPrintable(second.error));
    results.send("first", R"("command":"session-start","seconds":600,"gameId":"orbit")");
    QVERIFY2(st.waitForLog("Command first was taken on before"), qPrintable(st.log()));
    results.send("dirty", R"("command":"ready")");
    QVERIFY2(!results.of("dirty").ok && results.of("dirty").error.contains("end it first"), qPrintable(st.log()));
    const auto session = sessionOf(broker.desk(), "st01");
    QVERIFY(session && session->id == "first" && session->seconds == 600);
    QCOMPARE(st.launched(), QStringList{"orbit"});

    results.send("end", R"("command":"session-end")");
    QVERIFY(results.of("end").ok);
    results.send("clean", R"("command":"ready")");
    QVERIFY(results.of("clean").ok);
    const StationStatus status = statusOf(broker.desk(), "st01");
    QVERIFY(!status.session && status.ready);
}

// "I am done" in the headset ends the session at once, as time's up would, and its game with it;
// said again with nothing running, it changes nothing.
void StationSessionsTest::theCustomerEndsItFromTheHeadset()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=\ngrace=60\n");
    QVERIFY(st.installStubbornGame());
    const QString notes = st.stubbornNotes();
    QVERIFY2(st.start(), qPrintable(st.log()));
    HeadsetStandIn headset(st.id());
    QVERIFY(headset.connected());
    Results results(broker.desk(), "st01");
    QVERIFY(results.open());
    results.send("paid", R"("command":"session-start","seconds":600,"gameId":"stubborn")");
    QVERIFY2(results.of("paid").ok, qPrintable(st.log()));
    QVERIFY2(waitUntil([&] { return exists(notes + "/pid"); }, 3000), qPrintable(st.log()));

    headset.send(HeadsetDone().toJson());
    // No grace for a customer who is done: the game is asked to end at once.
    QVERIFY2(waitUntil([&] { return exists(notes + "/ended"); }, 3000), qPrintable(st.log()));
    QVERIFY2(waitUntil([&] { return headset.lastSessionState() == "ended"; }, 3000), qPrintable(st.log()));
    std::optional<SessionStatus> session;
    QVERIFY2(waitUntil(
                 [&] {
                     session = sessionOf(broker.desk(), "st01");
                     return session && session->state == SessionState::Ended;
                 },
                 5000),
             qPrintable(st.log()));
    QVERIFY(session->endReason == SessionEnd::Player && session->id == "paid");

    headset.send(HeadsetDone().toJson());
    QTest::qWait(500);
    QCOMPARE(st.log().count("Session paid ended"), 1);
    QCOMPARE(sessionOf(broker.desk(), "st01")->endReason, SessionEnd::Player);
    QVERIFY(st.isRunning());
}

QTEST_GUILESS_MAIN(StationSessionsTest)
#include "tst_stationsessions.moc"
