// nerq-headset's notices, as frames of its world overlay under the simulated runtime: the time
// bought for 5 s and the minutes left for 8 s, nothing drawn while nothing shows; the last minute
// counted down a frame a second; time's up, which stays and opens the dashboard on the session
// tab once; and a headset killed and started again, which shows the session as it stands.

#include "headsetrun.h"
#include "testagent.h"

#include <QtTest>

namespace {

using HeadsetPage::kNoticeAccent;

HeadsetView sessionView(SessionView::State state, qint64 remainingMs, qint64 graceMs = 0)
{
    HeadsetView view;
    view.session = SessionView{state, remainingMs, 600, QString(), graceMs};
    return view;
}

// The first notice frame after `after` whose accent has the colour.
HeadsetRun::Frame waitForAccent(const HeadsetRun& run, int after, const QColor& colour, int msecs = 10000)
{
    HeadsetRun::Frame found;
    (void)QTest::qWaitFor(
        [&] {
            const QList<HeadsetRun::Frame> frames = run.frames(HeadsetRun::kNotice);
            for (int i = after; i < frames.size() && found.number == 0; ++i)
                if (nearColour(run.image(frames[i], HeadsetRun::kNotice).pixelColor(kNoticeAccent), colour))
                    found = frames[i];
            return found.number > 0;
        },
        msecs);
    return found;
}

} // namespace

class TestHeadsetNotices : public QObject
{
    Q_OBJECT

private slots:
    void timeBoughtAndMinutesLeftShowForTheirTime();
    void theLastMinuteCountsDownAndTimeUpOpensTheTab();
    void aRestartedHeadsetShowsTheSessionAsItStands();

private:
    // The agent listens, the headset starts and reports a runtime.
    void startBoth(HeadsetRun& run, TestAgent& agent);
};

void TestHeadsetNotices::startBoth(HeadsetRun& run, TestAgent& agent)
{
    QVERIFY(agent.listen());
    run.start();
    QVERIFY2(agent.waitFor("hello", 1, 15000), qPrintable(run.run().report()));
    QVERIFY(QTest::qWaitFor([&] { return agent.runtime() && agent.runtime()->vr; }, 10000));
    QVERIFY(run.waitForTrace("CreateOverlay key=\"nerqvr.notice\""));
    // Small, 2 m ahead of the headset and a little below the eyes, over other overlays.
    QVERIFY(run.waitForTrace("SetOverlayWidthInMeters handle=1 width=0.7 -> 0"));
    QVERIFY(run.waitForTrace(
        "SetOverlayTransformTrackedDeviceRelative handle=1 device=0 matrix=[1 0 0 0; 0 1 0 -0.3; 0 0 1 -2] -> 0"));
    QVERIFY(run.waitForTrace("SetOverlaySortOrder handle=1 order=100 -> 0"));
}

void TestHeadsetNotices::timeBoughtAndMinutesLeftShowForTheirTime()
{
    HeadsetRun run("en");
    TestAgent agent(run.serverName());
    agent.setView(sessionView(SessionView::State::Running, 600000));
    startBoth(run, agent);
    // Ten minutes left: nothing to say.
    QTest::qWait(500);
    QCOMPARE(run.traced("ShowOverlay"), 0);

    const double bought = HeadsetRun::nowMs();
    agent.sendNotice({HeadsetNotice::Kind::Started, 600});
    const HeadsetRun::Frame started = waitForAccent(run, 0, HeadsetPage::kBlue);
    QVERIFY2(started.number, "no frame showed the time bought");
    QVERIFY2(started.timeMs - bought < 1000, qPrintable(QString::number(started.timeMs - bought)));
    QVERIFY(run.waitForTrace("ShowOverlay handle=1 -> 0"));
    QVERIFY(run.waitForTrace("HideOverlay handle=1 -> 0", 1, 10000));
    const double shownFor = HeadsetRun::nowMs() - bought;
    QVERIFY2(shownFor > 4500 && shownFor < 7000, qPrintable(QString::number(shownFor)));

    // Hidden, the notice draws nothing.
    const int hiddenFrames = run.frames(HeadsetRun::kNotice).size();
    QTest::qWait(1500);
    QCOMPARE(run.frames(HeadsetRun::kNotice).size(), hiddenFrames);

    const double warned = HeadsetRun::nowMs();
    agent.sendNotice({HeadsetNotice::Kind::Warning, 300});
    const HeadsetRun::Frame warning = waitForAccent(run, hiddenFrames, HeadsetPage::kAmber);
    QVERIFY2(warning.number, "no frame showed the minutes left");
    QVERIFY(warning.timeMs - warned < 1000);
    QVERIFY(run.waitForTrace("HideOverlay handle=1 -> 0", 2, 12000));
    const double warnedFor = HeadsetRun::nowMs() - warned;
    QVERIFY2(warnedFor > 7500 && warnedFor < 10000, qPrintable(QString::number(warnedFor)));
    // A page at rest: a frame for each change, not a stream.
    QVERIFY2(run.frames(HeadsetRun::kNotice).size() <= hiddenFrames + 3,
             qPrintable(QString::number(run.frames(HeadsetRun::kNotice).size())));
}

void TestHeadsetNotices::theLastMinuteCountsDownAndTimeUpOpensTheTab()
{
    HeadsetRun run;
    TestAgent agent(run.serverName());
    agent.setView(sessionView(SessionView::State::Running, 600000));
    startBoth(run, agent);

    const double start = HeadsetRun::nowMs();
    agent.setView(sessionView(SessionView::State::Running, 4500));
    const HeadsetRun::Frame first = waitForAccent(run, 0, HeadsetPage::kOrange);
    QVERIFY2(first.number, "no frame counted down");
    // Time is up on this clock, whether or not the agent has said so yet.
    const HeadsetRun::Frame up = waitForAccent(run, 0, HeadsetPage::kRed, 8000);
    QVERIFY2(up.number, "no frame said time is up");
    QVERIFY2(up.timeMs - start > 4300 && up.timeMs - start < 5500, qPrintable(QString::number(up.timeMs - start)));
    // 0:05 then 0:04 ... 0:01: a frame each time the second changes, and no more.
    QList<double> counted;
    for (const HeadsetRun::Frame& frame : run.frames(HeadsetRun::kNotice))
        if (frame.number >= first.number && frame.number < up.number)
            counted << frame.timeMs;
    QVERIFY2(counted.size() >= 4 && counted.size() <= 6, qPrintable(QString::number(counted.size())));
    for (int i = 2; i < counted.size(); ++i)
        QVERIFY2(counted[i] - counted[i - 1] > 800 && counted[i] - counted[i - 1] < 1300,
                 qPrintable(QString::number(counted[i] - counted[i - 1])));

    // The agent's time's up: the dashboard opens on the session tab, once, and the tab draws.
    QCOMPARE(run.traced("ShowDashboard"), 0);
    agent.setView(sessionView(SessionView::State::TimeUp, 0, 60000));
    QVERIFY(run.waitForTrace("ShowDashboard key=\"nerqvr.session\" -> tab=2"));
    const HeadsetRun::Frame tab = run.waitForFrame(0);
    QVERIFY2(tab.number, "the session tab drew nothing");
    QVERIFY(nearColour(run.image(tab).pixelColor(HeadsetPage::kHelpColour), HeadsetPage::kBlue));
    agent.setView(sessionView(SessionView::State::TimeUp, 0, 30000));
    QTest::qWait(500);
    QCOMPARE(run.traced("ShowDashboard"), 1);
    QCOMPARE(run.traced("HideOverlay handle=1"), 0);

    // Over: the notice goes.
    agent.setView(sessionView(SessionView::State::Ended, 0));
    QVERIFY(run.waitForTrace("HideOverlay handle=1 -> 0"));
}

void TestHeadsetNotices::aRestartedHeadsetShowsTheSessionAsItStands()
{
    HeadsetRun run;
    TestAgent agent(run.serverName());
    agent.setView(sessionView(SessionView::State::Running, 45000));
    startBoth(run, agent);
    QVERIFY(waitForAccent(run, 0, HeadsetPage::kOrange).number);

    run.kill();
    QVERIFY(agent.waitForDisconnect());
    const int before = run.frames(HeadsetRun::kNotice).size();
    // Meanwhile the agent counts on; a new headset gets the view as it stands when it connects.
    agent.setView(sessionView(SessionView::State::Running, 40000));
    run.start();
    QVERIFY2(agent.waitForConnections(2, 15000), qPrintable(run.run().report()));
    QVERIFY(agent.waitFor("hello", 2));
    // The dead headset's overlay keys are free again: the new one has both.
    QVERIFY(run.waitForTrace("CreateOverlay key=\"nerqvr.notice\" name=\"NERQ notice\" -> 0", 2));
    QVERIFY(run.waitForTrace("CreateDashboardOverlay key=\"nerqvr.session\" name=\"NERQ session\" -> 0", 2));
    QVERIFY2(waitForAccent(run, before, HeadsetPage::kOrange).number, "the new headset showed no countdown");
    QVERIFY(run.run().isRunning());
}

QTEST_GUILESS_MAIN(TestHeadsetNotices)
#include "tst_headsetnotices.moc"
