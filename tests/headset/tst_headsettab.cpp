// nerq-headset's session tab under the simulated runtime, used as a customer would: the dashboard
// opened on the tab, the laser pointer on the call-for-help button, the tab then saying that the
// desk was called, that someone is coming, or that nobody can be reached; "I am done", which asks
// once more before it tells the agent.

#include "headsetrun.h"
#include "testagent.h"

#include <QtTest>

#include <functional>

namespace {

HeadsetView running()
{
    HeadsetView view;
    view.language = ViewLanguage::English;
    view.session = SessionView{SessionView::State::Running, 600000, 600, "zen_garden", 0};
    return view;
}

HeadsetView withHelp(HelpView::State state, const QString& by = QString())
{
    HeadsetView view = running();
    view.help = HelpView{state, by};
    return view;
}

} // namespace

class TestHeadsetTab : public QObject
{
    Q_OBJECT

private slots:
    void helpFromThePointerAndWhatTheDeskSays();
    void iAmDoneAsksOnceMore();
    void helpWithoutAnAgentSaysRaiseAHand();

private:
    void openTab(HeadsetRun& run);
    // The agent with a running session, the headset, and the customer opening the tab.
    void startWithTab(HeadsetRun& run, TestAgent& agent);
    // A pointer click as the runtime reports it on the tab.
    void click(HeadsetRun& run, const QPoint& point);
    // The first tab frame after `after` for which the test holds; its number, or 0.
    int waitForTab(const HeadsetRun& run, int after, const std::function<bool(const QImage&)>& test);
    bool helpIs(const QImage& frame, const QColor& colour) const
    {
        return nearColour(frame.pixelColor(HeadsetPage::kHelpColour), colour);
    }
};

void TestHeadsetTab::openTab(HeadsetRun& run)
{
    QVERIFY2(run.waitForTrace("CreateDashboardOverlay key=\"nerqvr.session\"", 1, 15000),
             qPrintable(run.run().report()));
    run.script("dashboard open nerqvr.session");
    QVERIFY(run.waitForFrame(0).number);
}

void TestHeadsetTab::startWithTab(HeadsetRun& run, TestAgent& agent)
{
    QVERIFY(agent.listen());
    agent.setView(running());
    run.start();
    QVERIFY(agent.waitFor("hello", 1, 15000));
    openTab(run);
}

void TestHeadsetTab::click(HeadsetRun& run, const QPoint& point)
{
    const QByteArray at = QByteArray::number(point.x()) + ' ' + QByteArray::number(point.y());
    run.script("overlay move " + at);
    run.script("+40 overlay down " + at);
    run.script("+40 overlay up " + at);
}

int TestHeadsetTab::waitForTab(const HeadsetRun& run, int after, const std::function<bool(const QImage&)>& test)
{
    int found = 0;
    (void)QTest::qWaitFor(
        [&] {
            const QList<HeadsetRun::Frame> frames = run.frames();
            for (int i = after; i < frames.size() && !found; ++i)
                if (test(run.image(frames[i])))
                    found = i + 1;
            return found > 0;
        },
        10000);
    return found;
}

void TestHeadsetTab::helpFromThePointerAndWhatTheDeskSays()
{
    HeadsetRun run("en");
    TestAgent agent(run.serverName());
    startWithTab(run, agent);
    int seen = waitForTab(run, 0, [&](const QImage& frame) { return helpIs(frame, HeadsetPage::kBlue); });
    QVERIFY2(seen, "the tab showed no call-for-help button");

    click(run, HeadsetPage::kHelpButton);
    QVERIFY2(agent.waitFor("help", 1), qPrintable(run.run().report()));
    QCOMPARE(agent.count("help"), 1);

    // What the desk says comes back with the view.
    agent.setView(withHelp(HelpView::State::Sent));
    seen = waitForTab(run, seen, [&](const QImage& frame) { return helpIs(frame, HeadsetPage::kAmber); });
    QVERIFY2(seen, "the tab did not say the desk was called");
    agent.setView(withHelp(HelpView::State::Answered, "Mei"));
    seen = waitForTab(run, seen, [&](const QImage& frame) { return helpIs(frame, HeadsetPage::kGreen); });
    QVERIFY2(seen, "the tab did not say someone is coming");
    agent.setView(withHelp(HelpView::State::Unreachable));
    QVERIFY2(waitForTab(run, seen, [&](const QImage& frame) { return helpIs(frame, HeadsetPage::kRed); }),
             "the tab did not say to raise a hand");
    QCOMPARE(agent.count("done"), 0);
}

void TestHeadsetTab::iAmDoneAsksOnceMore()
{
    HeadsetRun run("cn");
    TestAgent agent(run.serverName());
    startWithTab(run, agent);
    const auto asking = [](const QImage& frame) {
        return nearColour(frame.pixelColor(HeadsetPage::kYesEnd), HeadsetPage::kRed, 40);
    };

    click(run, HeadsetPage::kDoneButton);
    int seen = waitForTab(run, 0, asking);
    QVERIFY2(seen, "no question after \"I am done\"");
    QTest::qWait(300);
    QCOMPARE(agent.count("done"), 0);
    click(run, HeadsetPage::kKeepPlaying);
    seen = waitForTab(run, seen, [&](const QImage& frame) { return !asking(frame); });
    QVERIFY2(seen, "the question stayed after \"keep playing\"");
    QTest::qWait(300);
    QCOMPARE(agent.count("done"), 0);

    click(run, HeadsetPage::kDoneButton);
    QVERIFY(waitForTab(run, seen, asking));
    click(run, HeadsetPage::kYesEnd);
    QVERIFY2(agent.waitFor("done", 1), qPrintable(run.run().report()));
    QTest::qWait(300);
    QCOMPARE(agent.count("done"), 1);
    QCOMPARE(agent.count("help"), 0);
}

void TestHeadsetTab::helpWithoutAnAgentSaysRaiseAHand()
{
    HeadsetRun run("en");
    run.start();
    openTab(run);
    QVERIFY(run.run().waitForOutput("Agent: not reachable"));
    click(run, HeadsetPage::kHelpButton);
    QVERIFY2(waitForTab(run, 0, [&](const QImage& frame) { return helpIs(frame, HeadsetPage::kRed); }),
             qPrintable(run.run().report()));
    QVERIFY(run.run().output().contains("Help called"));
}

QTEST_GUILESS_MAIN(TestHeadsetTab)
#include "tst_headsettab.moc"
