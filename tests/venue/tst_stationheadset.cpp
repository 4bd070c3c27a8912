// The agent's session with nerq-headset coming and going: killed mid-session, the session still
// ends on time and its game is ended, and a headset started again is shown the session as it
// stands; with no VR runtime the status says so. At time's up with no game of the agent's, the
// runtime's scene process is ended, unless it is the program itself. A stand-in on the agent's
// local socket plays nerq-headset; every process ended here is one the test started.

#include "sessiontesting.h"
#include "teststation.h"
#include "venuebroker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class StationHeadsetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aKilledHeadsetNeitherStopsNorLosesTheSession();
    void theSceneProcessIsEndedButNeverTheProgram();

private:
    QTemporaryDir m_runtime{"/tmp/nerq-rt-XXXXXX"};
};

void StationHeadsetTest::initTestCase()
{
    // The agent's socket and the stand-in's meet in a runtime folder of the test's own.
    QVERIFY(usePrivateRuntimeDir(m_runtime));
}

void StationHeadsetTest::aKilledHeadsetNeitherStopsNorLosesTheSession()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=\ngrace=0\n");
    QVERIFY(st.installStubbornGame());
    const QString notes = st.stubbornNotes();
    QVERIFY2(st.start(), qPrintable(st.log()));
    auto headset = std::make_unique<HeadsetStandIn>(st.id());
    QVERIFY(headset->connected());
    // A headset without the VR runtime: the agent goes on, and the desk is told.
    headset->send(HeadsetRuntime{false, 0}.toJson());
    QVERIFY2(waitUntil(
                 [&] {
                     const HeadsetStatus shown = statusOf(broker.desk(), "st01").headset;
                     return shown.connected && !shown.vr;
                 },
                 5000),
             qPrintable(st.log()));

    Results results(broker.desk(), "st01");
    QVERIFY(results.open());
    results.send("paid", R"("command":"session-start","seconds":4,"gameId":"stubborn")");
    QElapsedTimer since;
    since.start();
    QVERIFY2(results.of("paid").ok, qPrintable(st.log()));
    headset.reset(); // killed: its socket closes under the agent
    QVERIFY2(waitUntil([&] { return !statusOf(broker.desk(), "st01").headset.connected; }, 5000), qPrintable(st.log()));

    QVERIFY2(waitUntil([&] { return exists(notes + "/ended"); }, 8000), qPrintable(st.log()));
    QVERIFY2(qAbs(since.elapsed() - 4000) < 1000, qPrintable(QString::number(since.elapsed())));
    // Started again, it is shown where the session stands: over.
    HeadsetStandIn again(st.id());
    QVERIFY(again.connected());
    QVERIFY2(waitUntil([&] { return again.lastSessionState() == "ended"; }, 3000), qPrintable(st.log()));
    QVERIFY(st.isRunning());
}

void StationHeadsetTest::theSceneProcessIsEndedButNeverTheProgram()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st("st01", broker.addStation("st01"));
    st.addToConfig("[session]\nwarnings=\ngrace=0\n");
    st.writeCatalogue({});
    // Two processes of the test's own that the headset reports as the runtime's scene process in
    // turn: the program itself, then a game the runtime started.
    const QString programNotes = st.home() + "/program";
    const QString sceneNotes = st.home() + "/scene";
    QVERIFY(QDir().mkpath(programNotes) && QDir().mkpath(sceneNotes));
    QProcess program;
    program.start(writeStubbornGame(programNotes + "/NerqVRPlatform", programNotes), QStringList());
    // As the runtime starts a game: in a session of its own, not in the agent's process group.
    QProcess scene;
    scene.start("setsid", {writeStubbornGame(sceneNotes + "/scene.sh", sceneNotes)});
    QVERIFY(program.waitForStarted() && scene.waitForStarted());
    QVERIFY2(st.start(), qPrintable(st.log()));
    HeadsetStandIn headset(st.id());
    QVERIFY(headset.connected());
    Results results(broker.desk(), "st01");
    QVERIFY(results.open());

    headset.send(HeadsetRuntime{true, quint32(program.processId())}.toJson());
    results.send("first", R"("command":"session-start","seconds":1)");
    QVERIFY2(results.of("first").ok, qPrintable(st.log()));
    QVERIFY2(st.waitForLog("NerqVRPlatform, which is never ended", 5000), qPrintable(st.log()));
    QTest::qWait(500);
    QVERIFY2(!exists(programNotes + "/ended"), qPrintable(st.log()));
    QCOMPARE(program.state(), QProcess::Running);

    results.send("clean", R"("command":"ready")");
    QVERIFY2(results.of("clean").ok, qPrintable(results.of("clean").error));
    headset.send(HeadsetRuntime{true, quint32(scene.processId())}.toJson());
    results.send("second", R"("command":"session-start","seconds":1)");
    QVERIFY2(results.of("second").ok, qPrintable(st.log()));
    QVERIFY2(waitUntil([&] { return exists(sceneNotes + "/ended"); }, 5000), qPrintable(st.log()));
    QVERIFY(scene.waitForFinished(3000));
    program.kill();
    program.waitForFinished();
}

QTEST_GUILESS_MAIN(StationHeadsetTest)
#include "tst_stationheadset.moc"
