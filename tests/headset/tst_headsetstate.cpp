// What nerq-headset shows, worked out from the agent's views and notices: which notice wins, the
// countdown on this machine's clock, seconds that tick only where someone reads them, the
// dashboard opened once a session, the help call without an agent, "I am done" asked once more.

#include "headsetstate.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

HeadsetView sessionView(SessionView::State state, qint64 remainingMs)
{
    HeadsetView view;
    view.session = SessionView{state, remainingMs, 900, QString(), 0};
    return view;
}

} // namespace

class TestHeadsetState : public QObject
{
    Q_OBJECT

private slots:
    void timeUpWinsOverNoticesAndNoticesOverTheCountdown();
    void theLastMinuteBeginsOnThisClock();
    void secondsTickOnlyWhereSomeoneReadsThem();
    void theDashboardOpensOnceASession();
    void helpWithoutAnAgentAndDoneAskedOnceMore();
    void languageFollowsTheView();
};

void TestHeadsetState::timeUpWinsOverNoticesAndNoticesOverTheCountdown()
{
    HeadsetState state;
    QCOMPARE(state.notice(), QString("none"));
    QCOMPARE(state.session(), QString("none"));
    state.setView(sessionView(SessionView::State::Running, 50000));
    QCOMPARE(state.notice(), QString("countdown"));
    QCOMPARE(state.remainingSeconds(), 50);
    // The warning at the last minute says it in words first, for its 8 s.
    state.showNotice({HeadsetNotice::Kind::Warning, 60});
    QCOMPARE(state.notice(), QString("warning"));
    QCOMPARE(state.noticeMinutes(), 1);
    state.setView(sessionView(SessionView::State::TimeUp, 0));
    QCOMPARE(state.notice(), QString("timeup"));
    // Time's up stays until the session is over.
    state.showNotice({HeadsetNotice::Kind::Started, 600});
    QCOMPARE(state.notice(), QString("timeup"));
    state.setView(sessionView(SessionView::State::Ended, 0));
    QCOMPARE(state.notice(), QString("started"));
    QCOMPARE(state.noticeSeconds(), 600);
    state.setView(HeadsetView());
    QCOMPARE(state.session(), QString("none"));
}

void TestHeadsetState::theLastMinuteBeginsOnThisClock()
{
    HeadsetState state;
    state.setView(sessionView(SessionView::State::Running, HeadsetState::kCountdownMs + 300));
    QCOMPARE(state.notice(), QString("none"));
    QTRY_COMPARE_WITH_TIMEOUT(state.notice(), QString("countdown"), 1000);
    QCOMPARE(state.remainingSeconds(), 60);

    // At zero, time is up here, before the agent's word arrives.
    state.setView(sessionView(SessionView::State::Running, 300));
    QCOMPARE(state.session(), QString("running"));
    QTRY_COMPARE_WITH_TIMEOUT(state.notice(), QString("timeup"), 1000);
    QCOMPARE(state.session(), QString("timeup"));
    QCOMPARE(state.remainingSeconds(), 0);
    // The dashboard waits for the agent's time's up: the session may yet be extended.
    QVERIFY(!state.wantsDashboard());
}

void TestHeadsetState::secondsTickOnlyWhereSomeoneReadsThem()
{
    HeadsetState state;
    QSignalSpy changed(&state, &HeadsetState::changed);
    state.setView(sessionView(SessionView::State::Running, 600000));
    changed.clear();
    QTest::qWait(1500);
    QCOMPARE(changed.count(), 0);

    state.setTabShown(true);
    QCOMPARE(state.remainingSeconds(), 599);
    changed.clear();
    QTest::qWait(2100);
    QVERIFY2(changed.count() >= 2 && changed.count() <= 3, qPrintable(QString::number(changed.count())));
    QVERIFY(state.remainingSeconds() <= 597);

    state.setTabShown(false);
    changed.clear();
    QTest::qWait(1500);
    QCOMPARE(changed.count(), 0);
}

void TestHeadsetState::theDashboardOpensOnceASession()
{
    HeadsetState state;
    state.setView(sessionView(SessionView::State::TimeUp, 0));
    QVERIFY(state.wantsDashboard());
    state.dashboardOpened();
    QVERIFY(!state.wantsDashboard());
    // Bought more in the grace, and out of time again: the same session.
    state.setView(sessionView(SessionView::State::Running, 60000));
    state.setView(sessionView(SessionView::State::TimeUp, 0));
    QVERIFY(!state.wantsDashboard());
    // A session over, and the next one's time's up.
    state.setView(sessionView(SessionView::State::Ended, 0));
    state.setView(sessionView(SessionView::State::TimeUp, 0));
    QVERIFY(state.wantsDashboard());
    state.dashboardOpened();
    // A new session announced straight away.
    state.showNotice({HeadsetNotice::Kind::Started, 600});
    QVERIFY(state.wantsDashboard());
}

void TestHeadsetState::helpWithoutAnAgentAndDoneAskedOnceMore()
{
    HeadsetState state;
    QSignalSpy help(&state, &HeadsetState::helpRequested);
    QSignalSpy done(&state, &HeadsetState::doneConfirmed);
    state.callHelp();
    QCOMPARE(help.count(), 1);
    state.setHelpUnreachable();
    QCOMPARE(state.help(), QString("unreachable"));
    HeadsetView answered = sessionView(SessionView::State::Running, 600000);
    answered.help = HelpView{HelpView::State::Answered, "Mei"};
    state.setView(answered);
    QCOMPARE(state.help(), QString("answered"));
    QCOMPARE(state.helpBy(), QString("Mei"));

    state.confirmDone();
    QCOMPARE(done.count(), 0);
    state.askDone();
    QVERIFY(state.confirmingDone());
    state.cancelDone();
    QVERIFY(!state.confirmingDone());
    state.askDone();
    state.confirmDone();
    state.confirmDone();
    QCOMPARE(done.count(), 1);
    QVERIFY(!state.confirmingDone());
    // Nothing to end without a session.
    state.setView(HeadsetView());
    state.askDone();
    QVERIFY(!state.confirmingDone());
}

void TestHeadsetState::languageFollowsTheView()
{
    HeadsetState state;
    QSignalSpy language(&state, &HeadsetState::languageChanged);
    state.setLanguage(ViewLanguage::English);
    QCOMPARE(language.count(), 1);
    HeadsetView view;
    view.language = ViewLanguage::English;
    state.setView(view);
    QCOMPARE(language.count(), 1);
    view.language = ViewLanguage::Chinese;
    state.setView(view);
    QCOMPARE(language.count(), 2);
    QCOMPARE(state.language(), ViewLanguage::Chinese);
}

QTEST_GUILESS_MAIN(TestHeadsetState)
#include "tst_headsetstate.moc"
