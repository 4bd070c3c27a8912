// The calibration button, its instruction panel and the confirmation panel's fade.
#include "pagefixture.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QTest>
#include <QVector>

#include <algorithm>
#include <iterator>

namespace {

// One observation after a trigger of the fade timer.
struct Step {
    int count;
    qreal opacity;
    bool running;
    bool instructionVisible;
};

} // namespace

class CalibrationPanelTest : public QObject
{
    Q_OBJECT

public slots:
    // Not a test: receives the fade timer's triggered() signal.
    void sampleFadeStep();

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void instructionShowsWhilePointerOnButton();
    void clickRequestsCalibrationAndHidesInstruction();
    void fadeHoldsThenFadesAndStops();
    void secondClickRestartsFade();
    void instructionWaitsForFadeToEnd();
    void wheelOnButtonChangesNothing();

private:
    QQuickItem* instruction() const { return page->itemById("biaoding_message"); }
    QQuickItem* confirmation() const { return page->itemById("biaoding_message2"); }
    QObject* fadeTimer() const { return page->byId("timer_button"); }
    bool fadeRunning() const { return fadeTimer()->property("running").toBool(); }
    int fadeCount() const { return confirmation()->property("count").toInt(); }
    QPoint onButton() const { return PageFixture::centreInWindow(page->rootChild(5)); }
    static QPoint offButton() { return QPoint(960, 1050); }
    void clickButton();
    static bool near(qreal a, qreal b) { return qAbs(a - b) < 1e-6; }

    std::unique_ptr<PageFixture> page;
    QVector<Step> steps;
};

void CalibrationPanelTest::initTestCase()
{
    PageFixture::installFontSubstitutes();
}

void CalibrationPanelTest::init()
{
    page = std::make_unique<PageFixture>();
    steps.clear();
    QVERIFY2(page->load("en", 4), qPrintable(page->loadError()));
    QTest::mouseMove(page->window(), offButton());

    // Connected after the page's own handler, so each sample sees that trigger's result.
    QObject* timer = fadeTimer();
    QVERIFY(timer);
    const QMetaMethod triggered = timer->metaObject()->method(timer->metaObject()->indexOfSignal("triggered()"));
    const QMetaMethod sample = metaObject()->method(metaObject()->indexOfSlot("sampleFadeStep()"));
    QVERIFY(connect(timer, triggered, this, sample));
}

void CalibrationPanelTest::cleanup()
{
    QVERIFY2(page->warnings().isEmpty(), qPrintable(page->warnings().join('\n')));
    page.reset();
}

void CalibrationPanelTest::sampleFadeStep()
{
    steps.append({fadeCount(), confirmation()->opacity(), fadeRunning(), instruction()->isVisible()});
}

void CalibrationPanelTest::clickButton()
{
    QTest::mouseMove(page->window(), onButton());
    QTest::mouseClick(page->window(), Qt::LeftButton, Qt::NoModifier, onButton());
}

void CalibrationPanelTest::instructionShowsWhilePointerOnButton()
{
    QVERIFY(!instruction()->isVisible());
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    QCOMPARE(confirmation()->opacity(), 0.0);

    // Moving about on the button keeps it; leaving hides it; coming back shows it again.
    QTest::mouseMove(page->window(), onButton() + QPoint(100, 10));
    QVERIFY(instruction()->isVisible());
    QTest::mouseMove(page->window(), offButton());
    QTRY_VERIFY(!instruction()->isVisible());
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    QCOMPARE(page->calibration.calls, 0);
}

void CalibrationPanelTest::clickRequestsCalibrationAndHidesInstruction()
{
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    clickButton();
    QCOMPARE(page->calibration.calls, 1);
    // Shown although the request reported a failure.
    QVERIFY(confirmation()->opacity() > 0.9);
    QVERIFY(!instruction()->isVisible());

    // The pointer stays on the button: the instruction stays hidden after the fade.
    QTRY_VERIFY_WITH_TIMEOUT(!fadeRunning(), 5000);
    QCOMPARE(confirmation()->opacity(), 0.0);
    QTest::mouseMove(page->window(), onButton() + QPoint(5, 5));
    QTest::qWait(50);
    QVERIFY(!instruction()->isVisible());

    // Leaving and coming back is what brings it back.
    QTest::mouseMove(page->window(), offButton());
    QVERIFY(!instruction()->isVisible());
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    QCOMPARE(page->launcher.requested, QStringList());
}

void CalibrationPanelTest::fadeHoldsThenFadesAndStops()
{
    QElapsedTimer clock;
    clock.start();
    clickButton();
    QTRY_VERIFY_WITH_TIMEOUT(!fadeRunning(), 5000);
    const qint64 elapsed = clock.elapsed();

    // Exactly 73 triggers, the first one at the click.
    QCOMPARE(steps.size(), 73);
    for (int i = 0; i < steps.size(); ++i) {
        const Step& s = steps.at(i);
        const int trigger = i + 1;
        QCOMPARE(s.count, trigger);
        QVERIFY(!s.instructionVisible);
        if (trigger <= 50) {
            QVERIFY2(s.opacity == 1.0, qPrintable(QString::number(trigger)));
            QVERIFY(s.running);
        } else if (trigger < 73) {
            QVERIFY2(near(s.opacity, 1.0 - 0.04 * (trigger - 50)), qPrintable(QString::number(trigger)));
            QVERIFY(s.running);
        } else {
            QCOMPARE(s.opacity, 0.0);
            QVERIFY(!s.running);
        }
    }
    // 72 intervals of 20 ms; a lower bound only, timers may run late under load.
    QVERIFY2(elapsed >= 1300, qPrintable(QString::number(elapsed)));
    QTest::qWait(100);
    QCOMPARE(steps.size(), 73);
}

void CalibrationPanelTest::secondClickRestartsFade()
{
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    clickButton();
    // Into the fading stretch, then click again.
    QTRY_VERIFY_WITH_TIMEOUT(fadeCount() >= 55, 5000);
    QVERIFY(confirmation()->opacity() < 1.0);
    clickButton();
    QCOMPARE(page->calibration.calls, 2);
    QCOMPARE(confirmation()->opacity(), 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(!fadeRunning(), 5000);

    // The second sequence is complete on its own: counts 1..73 again from the second click.
    const auto lastStart =
        std::find_if(steps.crbegin(), steps.crend(), [](const Step& step) { return step.count == 1; });
    const int restart = static_cast<int>(std::distance(lastStart, steps.crend())) - 1;
    QVERIFY(restart >= 55);
    QVERIFY(steps.at(restart - 1).opacity < 1.0);
    const QVector<Step> second = steps.mid(restart);
    QCOMPARE(second.size(), 73);
    for (int i = 0; i < second.size(); ++i)
        QCOMPARE(second.at(i).count, i + 1);
    QCOMPARE(second.first().count, 1);
    QCOMPARE(second.first().opacity, 1.0);
    QCOMPARE(second.at(49).opacity, 1.0);
    QCOMPARE(second.last().count, 73);
    QCOMPARE(second.last().opacity, 0.0);
    for (const Step& s : steps)
        QVERIFY(!s.instructionVisible);
    QVERIFY(!instruction()->isVisible());
}

void CalibrationPanelTest::instructionWaitsForFadeToEnd()
{
    clickButton();
    // Leave and come back while the confirmation is still up: no instruction yet.
    QTest::mouseMove(page->window(), offButton());
    QTest::mouseMove(page->window(), onButton());
    QVERIFY(fadeRunning());
    QVERIFY(!instruction()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(fadeCount() >= 60, 5000);
    QVERIFY(!instruction()->isVisible());

    // It appears by itself once the confirmation reaches 0, with the pointer still on the button.
    QTRY_VERIFY_WITH_TIMEOUT(instruction()->isVisible(), 5000);
    QCOMPARE(confirmation()->opacity(), 0.0);
    QVERIFY(!fadeRunning());
    QCOMPARE(steps.size(), 73);
    QCOMPARE(steps.last().opacity, 0.0);
}

void CalibrationPanelTest::wheelOnButtonChangesNothing()
{
    QTest::mouseMove(page->window(), onButton());
    QTRY_VERIFY(instruction()->isVisible());
    const QPoint at = onButton();
    QWheelEvent wheel(at, page->window()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(page->window(), &wheel);
    QVERIFY(wheel.isAccepted());
    QVERIFY(instruction()->isVisible());
    QCOMPARE(page->calibration.calls, 0);
    QCOMPARE(page->itemById("gameView")->property("contentY").toReal(), 0.0);
}

QTEST_MAIN(CalibrationPanelTest)
#include "calibrationpaneltest.moc"
