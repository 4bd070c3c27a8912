// nerq-headset's two connections, under the simulated runtime: no VR runtime (it asks again every
// 5 s, says so once, never starts one, and connects once one runs; a runtime that stops sends it
// back to waiting), the scene process reported to the agent as it changes, and an agent that
// sends garbage, which is dropped with a log line while the headset goes on.

#include "headsetrun.h"
#include "testagent.h"

#include <QFile>
#include <QtTest>

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class TestHeadsetLinks : public QObject
{
    Q_OBJECT

private slots:
    void withoutARuntimeItAsksEveryFiveSecondsAndSaysSoOnce();
    void theSceneProcessIsReported();
    void aHostileAgentIsDroppedAndTheHeadsetGoesOn();
};

void TestHeadsetLinks::withoutARuntimeItAsksEveryFiveSecondsAndSaysSoOnce()
{
    HeadsetRun run("en", {{"VRSIM_RUNNING_FILE", "running"}});
    const QString running = run.path("running");
    // The runtime's flag, relative to the headset's working folder: its own folder.
    TestAgent agent(run.serverName());
    QVERIFY(agent.listen());
    run.start();
    QVERIFY(agent.waitFor("runtime", 1, 15000));
    QCOMPARE(agent.runtime()->vr, false);

    const QString refused = "VR_Init type=3 -> 121";
    QList<double> asked;
    QVERIFY(QTest::qWaitFor(
        [&] {
            while (asked.size() < run.traced(refused))
                asked << HeadsetRun::nowMs();
            return asked.size() >= 3;
        },
        15000));
    // About 5 s apart: never sooner, and not much later even on a loaded machine.
    QVERIFY2(asked[2] - asked[1] > 4500 && asked[2] - asked[1] < 9000,
             qPrintable(QString::number(asked[2] - asked[1])));
    QCOMPARE(run.run().output().count("VR runtime: none"), 1);
    QCOMPARE(run.traced("CreateOverlay"), 0);

    // The runtime comes up: within the next 5 s the headset is there, with its overlays.
    QVERIFY(touch(running));
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime() && agent.runtime()->vr; }, 12000));
    QVERIFY(run.run().waitForOutput("VR runtime: connected"));
    QVERIFY(run.waitForTrace("CreateOverlay key=\"nerqvr.notice\" name=\"NERQ notice\" -> 0"));

    // It stops: the headset lets go and waits for the next one.
    const int reports = agent.count("runtime");
    QVERIFY(QFile::remove(running));
    QVERIFY(QTest::qWaitFor([&] { return agent.count("runtime") > reports && !agent.runtime()->vr; }, 5000));
    QVERIFY(run.waitForTrace("AcknowledgeQuit_Exiting"));
    QVERIFY(run.waitForTrace("VR_Shutdown"));
    QVERIFY(touch(running));
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime()->vr; }, 12000));
    QVERIFY(run.waitForTrace("CreateOverlay key=\"nerqvr.notice\" name=\"NERQ notice\" -> 0", 2));
    QVERIFY(run.run().isRunning());
    QCOMPARE(run.run().output().count("VR runtime: none"), 1);
}

void TestHeadsetLinks::theSceneProcessIsReported()
{
    HeadsetRun run("en", {{"VRSIM_SCENE_PROCESS", "4242:steam.app.620"}});
    TestAgent agent(run.serverName());
    QVERIFY(agent.listen());
    run.start();
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime() && agent.runtime()->vr; }, 15000));
    QCOMPARE(agent.runtime()->sceneProcess, 4242u);
    // hello first, then the runtime, on every connect.
    QCOMPARE(agent.received().value(0).value("type").toString(), QString("hello"));
    QCOMPARE(agent.received().value(0).value("pid").toInt(), int(run.run().pid()));

    run.script("scene 5151 \"steam.app.250820\"");
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime()->sceneProcess == 5151; }, 5000));
    run.script("process-quit 5151");
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime()->sceneProcess == 0; }, 5000));
    QVERIFY(agent.runtime()->vr);
}

void TestHeadsetLinks::aHostileAgentIsDroppedAndTheHeadsetGoesOn()
{
    HeadsetRun run("en");
    TestAgent agent(run.serverName());
    QVERIFY(agent.listen());
    run.start();
    QVERIFY(agent.waitForConnections(1, 15000));

    agent.sendRaw("this is no JSON\n");
    QVERIFY(run.run().waitForOutput("Agent: sent a line that is not JSON"));
    QVERIFY(agent.waitForConnections(2));

    agent.sendRaw(QByteArray(70 * 1024, '{') + "\n");
    QVERIFY(run.run().waitForOutput("Agent: sent a line longer than 65536 bytes"));
    QVERIFY(agent.waitForConnections(3));

    agent.sendRaw(R"({"type":"view","language":"en","session":{"state":"running","remainingMs":"soon",)"
                  R"("seconds":60,"graceMs":0},"help":null,"ready":false})"
                  "\n");
    QVERIFY(run.run().waitForOutput("Agent: sent a wrong message (session: \"remainingMs\""));
    QVERIFY(agent.waitForConnections(4));

    // A type from a newer agent is skipped, and the connection stays.
    agent.sendRaw("{\"type\":\"fireworks\"}\n{\"type\":\"fireworks\"}\n");
    QVERIFY(run.run().waitForOutput("unknown type \"fireworks\""));
    QTest::qWait(300);
    QCOMPARE(agent.connections(), 4);
    QVERIFY(agent.connected());
    QCOMPARE(run.run().output().count("unknown type"), 1);
    QVERIFY(run.run().isRunning());
    // Each connection said hello.
    QCOMPARE(agent.count("hello"), 4);
}

QTEST_GUILESS_MAIN(TestHeadsetLinks)
#include "tst_headsetlinks.moc"
