// The input pump against the simulated runtime: each runtime event it polls must reach the
// offscreen window as exactly the Qt event the page expects.

#include "nerqoffwindow.h"
#include "vrmouse.h"
#include "vroverlay.h"
#include "vrtestfixture.h"

#include "logcapture.h"

#include <vrsim/control.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

struct Delivered {
    QEvent::Type type = QEvent::None;
    QPointF local;
    QPointF screen;
    Qt::MouseButton button = Qt::NoButton;
    Qt::MouseButtons buttons;
    QPoint angleDelta;
    QPoint pixelDelta;
    int legacyDelta = 0;
    Qt::Orientation legacyOrientation = Qt::Horizontal;
};

// Sees every pointer event the pump sends to the window, before the window handles it.
class EventRecorder : public QObject
{
public:
    QVector<Delivered> events;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        Delivered d;
        d.type = event->type();
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            d.local = mouse->localPos();
            d.screen = mouse->screenPos();
            d.button = mouse->button();
            d.buttons = mouse->buttons();
            events.append(d);
            break;
        }
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            d.local = wheel->position();
            d.screen = wheel->globalPosition();
            d.buttons = wheel->buttons();
            d.angleDelta = wheel->angleDelta();
            d.pixelDelta = wheel->pixelDelta();
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            d.legacyDelta = wheel->delta();
            d.legacyOrientation = wheel->orientation();
            QT_WARNING_POP
            events.append(d);
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

void pushMouse(uint32_t type, float x, float y, uint32_t button = 0)
{
    vrsim::pushOverlayEvent(vrsim::mouseEvent(type, x, y, button));
}

} // namespace

class TestVRMouse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void moveTruncatesAndSuppressesSamePixel_data();
    void moveTruncatesAndSuppressesSamePixel();
    void pressAndReleaseKeepLastPosition();
    void buttonMappingAndHeldButtons();
    void scrollAngleDelta_data();
    void scrollAngleDelta();
    void unusableNumbersAreDroppedWithALogLine();
    void overlayShownRequestsAFrame();
    void keyboardTextAndUserValue();
    void otherEventTypesAreIgnored();
    void pollsWithThePlatformRecordSize();
    void systemQueueWhenAsked();
    void quitStopsEverythingAndEndsTheLoop();
    void pumpTimerLifecycle();
    void tenThousandQueuedEventsDrainInOnePump();
    void extremeCoordinates_data();
    void extremeCoordinates();
    void unknownTypesInBulkAreIgnoredSilently();

private:
    VrTestFixture m_vr;
    std::unique_ptr<QQuickItem> m_page;
    std::unique_ptr<NerqOffWindow> m_renderer;
    std::unique_ptr<VRMouse> m_mouse;
    EventRecorder m_recorder;
};

void TestVRMouse::initTestCase()
{
    QVERIFY(m_vr.open(1920, 1080));
    m_page = std::make_unique<QQuickItem>();
    m_page->setSize(QSizeF(1920, 1080));
    m_renderer = std::make_unique<NerqOffWindow>();
    try {
        m_renderer->createContext();
    } catch (const std::exception& error) {
        QSKIP(error.what());
    }
    m_renderer->connectOverlay(m_vr.overlay());
    m_renderer->setRootItem(m_page.get());
    m_renderer->quickWindow()->installEventFilter(&m_recorder);
}

void TestVRMouse::init()
{
    // Drain anything a previous case left in the queue without delivering it.
    while (vrsim::pendingOverlayEvents() > 0 || vrsim::pendingSystemEvents() > 0) {
        vr::VREvent_t event;
        if (vrsim::pendingOverlayEvents() > 0)
            vr::VROverlay()->PollNextOverlayEvent(m_vr.overlay()->getOverlayHandle(), &event, sizeof event);
        if (vrsim::pendingSystemEvents() > 0)
            vr::VRSystem()->PollNextEvent(&event, sizeof event);
    }
    VRMouse::resetPumpState();
    m_mouse = std::make_unique<VRMouse>(m_vr.overlay(), m_renderer.get(), false);
    m_recorder.events.clear();
}

void TestVRMouse::cleanup()
{
    m_mouse.reset();
}

void TestVRMouse::moveTruncatesAndSuppressesSamePixel_data()
{
    QTest::addColumn<QVector<QPointF>>("moves");
    QTest::addColumn<QVector<QPoint>>("forwarded");

    // The pump starts at (0, 0), so a first move that truncates there is no move at all.
    QTest::newRow("first move to the start pixel") << QVector<QPointF>{{0.4, 0.7}} << QVector<QPoint>{};
    QTest::newRow("same pixel twice") << QVector<QPointF>{{10.2, 20.0}, {10.9, 20.0}} << QVector<QPoint>{{10, 20}};
    QTest::newRow("toward zero, not down")
        << QVector<QPointF>{{-3.7, 5.9}, {1919.99, 1079.5}} << QVector<QPoint>{{-3, 5}, {1919, 1079}};
    QTest::newRow("back to a pixel left earlier")
        << QVector<QPointF>{{5, 5}, {6, 5}, {5.5, 5.5}} << QVector<QPoint>{{5, 5}, {6, 5}, {5, 5}};
}

void TestVRMouse::moveTruncatesAndSuppressesSamePixel()
{
    QFETCH(QVector<QPointF>, moves);
    QFETCH(QVector<QPoint>, forwarded);

    QSignalSpy moved(m_mouse.get(), &VRMouse::mousePositionChange);
    for (const QPointF& p : moves)
        pushMouse(vr::VREvent_MouseMove, float(p.x()), float(p.y()));
    m_mouse->OnTimeoutPumpEvents();

    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(0));
    QCOMPARE(m_recorder.events.size(), forwarded.size());
    QCOMPARE(moved.count(), forwarded.size());
    const QQuickWindow* window = m_renderer->quickWindow().get();
    for (int i = 0; i < forwarded.size(); ++i) {
        const Delivered& d = m_recorder.events.at(i);
        QCOMPARE(d.type, QEvent::MouseMove);
        QCOMPARE(d.local, QPointF(forwarded.at(i)));
        QCOMPARE(d.screen, QPointF(window->mapToGlobal(forwarded.at(i))));
        QCOMPARE(d.button, Qt::NoButton);
        QCOMPARE(d.buttons, Qt::MouseButtons(Qt::NoButton));
    }
}

void TestVRMouse::pressAndReleaseKeepLastPosition()
{
    pushMouse(vr::VREvent_MouseMove, 100.5, 200.5);
    pushMouse(vr::VREvent_MouseButtonDown, 300.2, 400.8, vr::VRMouseButton_Left);
    pushMouse(vr::VREvent_MouseButtonUp, 301.9, 401.1, vr::VRMouseButton_Left);
    vrsim::pushOverlayEvent(vrsim::scrollEvent(0, 0.05f));
    // The press did not move the pointer, so this is still a new pixel and is forwarded.
    pushMouse(vr::VREvent_MouseMove, 300.2, 400.8);
    m_mouse->OnTimeoutPumpEvents();

    QCOMPARE(m_recorder.events.size(), 5);
    const Delivered& press = m_recorder.events.at(1);
    QCOMPARE(press.type, QEvent::MouseButtonPress);
    QCOMPARE(press.local, QPointF(300, 400));
    QCOMPARE(press.buttons, Qt::MouseButtons(Qt::LeftButton));
    const Delivered& release = m_recorder.events.at(2);
    QCOMPARE(release.type, QEvent::MouseButtonRelease);
    QCOMPARE(release.local, QPointF(301, 401));
    QCOMPARE(release.buttons, Qt::MouseButtons(Qt::NoButton));
    const Delivered& wheel = m_recorder.events.at(3);
    QCOMPARE(wheel.type, QEvent::Wheel);
    QCOMPARE(wheel.local, QPointF(100, 200));
    QCOMPARE(wheel.angleDelta, QPoint(0, 144));
    QCOMPARE(m_recorder.events.at(4).local, QPointF(300, 400));
}

void TestVRMouse::buttonMappingAndHeldButtons()
{
    // Middle and unknown buttons act as left; right stays right.
    pushMouse(vr::VREvent_MouseButtonDown, 10, 10, vr::VRMouseButton_Middle);
    pushMouse(vr::VREvent_MouseButtonUp, 10, 10, vr::VRMouseButton_Middle);
    pushMouse(vr::VREvent_MouseButtonDown, 10, 10, vr::VRMouseButton_Right);
    pushMouse(vr::VREvent_MouseButtonDown, 10, 10, 0x40);
    pushMouse(vr::VREvent_MouseMove, 20, 20);
    vrsim::pushOverlayEvent(vrsim::scrollEvent(0, 1));
    pushMouse(vr::VREvent_MouseButtonUp, 10, 10, vr::VRMouseButton_Right);
    pushMouse(vr::VREvent_MouseButtonUp, 10, 10, vr::VRMouseButton_Left);
    // A release of a button that is not held is still delivered and changes nothing.
    pushMouse(vr::VREvent_MouseButtonUp, 10, 10, vr::VRMouseButton_Right);
    m_mouse->OnTimeoutPumpEvents();

    struct Expected {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
    };
    const Expected expected[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton},
        {QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton},
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::RightButton | Qt::LeftButton},
        {QEvent::MouseMove, Qt::NoButton, Qt::RightButton | Qt::LeftButton},
        {QEvent::Wheel, Qt::NoButton, Qt::RightButton | Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::RightButton, Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton},
        {QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton},
    };
    QCOMPARE(m_recorder.events.size(), int(std::size(expected)));
    for (int i = 0; i < m_recorder.events.size(); ++i) {
        const Delivered& d = m_recorder.events.at(i);
        QCOMPARE(d.type, expected[i].type);
        if (d.type != QEvent::Wheel)
            QCOMPARE(d.button, expected[i].button);
        QCOMPARE(d.buttons, expected[i].buttons);
    }
}

void TestVRMouse::scrollAngleDelta_data()
{
    QTest::addColumn<float>("xdelta");
    QTest::addColumn<float>("ydelta");
    QTest::addColumn<QPoint>("angle");

    QTest::newRow("half a turn back") << 0.0f << -0.5f << QPoint(0, -1440);
    QTest::newRow("one notch") << 0.0f << 0.05f << QPoint(0, 144);
    QTest::newRow("horizontal") << 0.25f << 0.0f << QPoint(720, 0);
    // 0.0001 * 2880 = 0.288: truncation toward zero on both sides.
    QTest::newRow("below one eighth") << -0.0001f << 0.0001f << QPoint(0, 0);
    QTest::newRow("fraction truncated") << 0.0f << -0.0006f << QPoint(0, -1);
}

void TestVRMouse::scrollAngleDelta()
{
    QFETCH(float, xdelta);
    QFETCH(float, ydelta);
    QFETCH(QPoint, angle);

    pushMouse(vr::VREvent_MouseMove, 640.3, 480.6);
    vrsim::pushOverlayEvent(vrsim::scrollEvent(xdelta, ydelta));
    m_mouse->OnTimeoutPumpEvents();

    QCOMPARE(m_recorder.events.size(), 2);
    const Delivered& wheel = m_recorder.events.at(1);
    QCOMPARE(wheel.type, QEvent::Wheel);
    QCOMPARE(wheel.angleDelta, angle);
    QCOMPARE(wheel.pixelDelta, QPoint(0, 0));
    QCOMPARE(wheel.legacyDelta, 0);
    QCOMPARE(wheel.legacyOrientation, Qt::Vertical);
    QCOMPARE(wheel.local, QPointF(640, 480));
    QCOMPARE(wheel.screen, QPointF(m_renderer->quickWindow()->mapToGlobal(QPoint(640, 480))));
}

void TestVRMouse::unusableNumbersAreDroppedWithALogLine()
{
    LogCapture log;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    pushMouse(vr::VREvent_MouseMove, nan, 10);
    pushMouse(vr::VREvent_MouseButtonDown, 1e20f, 10, vr::VRMouseButton_Left);
    vrsim::pushOverlayEvent(vrsim::scrollEvent(0, inf));
    pushMouse(vr::VREvent_MouseMove, 7, 8);
    m_mouse->OnTimeoutPumpEvents();

    // The good event behind the bad ones still arrives; nothing bad changed the pump's state.
    QCOMPARE(m_recorder.events.size(), 1);
    QCOMPARE(m_recorder.events.at(0).local, QPointF(7, 8));
    QCOMPARE(m_recorder.events.at(0).buttons, Qt::MouseButtons(Qt::NoButton));
    QCOMPARE(log.errors().size(), 3);
}

void TestVRMouse::overlayShownRequestsAFrame()
{
    QSignalSpy updates(m_renderer->quickWindow().get(), &QQuickWindow::afterRendering);
    QTest::qWait(50); // let any earlier frame pass
    updates.clear();
    vrsim::pushOverlayEvent(vrsim::plainEvent(vr::VREvent_OverlayShown));
    m_mouse->OnTimeoutPumpEvents();
    QTRY_COMPARE(updates.count(), 1);
}

void TestVRMouse::keyboardTextAndUserValue()
{
    QSignalSpy typed(m_mouse.get(), qOverload<QString, unsigned long>(&VRMouse::keyBoardInputSignal));
    // The high half of the user value does not survive the 32-bit hand-over.
    vrsim::pushKeyboardDone("Grüße, 世界", 0x0000000500000007ULL);
    vrsim::pushKeyboardDone("", 0);
    vrsim::pushKeyboardDone(std::string(1500, 'a'), 0xffffffffULL);
    m_mouse->OnTimeoutPumpEvents();

    QCOMPARE(typed.count(), 3);
    QCOMPARE(typed.at(0).at(0).toString(), QString::fromUtf8("Grüße, 世界"));
    QCOMPARE(typed.at(0).at(1).value<unsigned long>(), 7ul);
    QCOMPARE(typed.at(1).at(0).toString(), QString());
    // The buffer holds 1024 bytes; whatever the runtime does with the rest, we never read past it.
    QVERIFY(typed.at(2).at(0).toString().size() <= 1024);
    QVERIFY(typed.at(2).at(0).toString().startsWith(QLatin1String("aaaa")));
    QCOMPARE(typed.at(2).at(1).value<unsigned long>(), 0xfffffffful);
    QVERIFY(m_recorder.events.isEmpty());
}

void TestVRMouse::otherEventTypesAreIgnored()
{
    vrsim::pushOverlayEvent(vrsim::plainEvent(vr::VREvent_KeyboardCharInput));
    vrsim::pushOverlayEvent(vrsim::plainEvent(12345));
    pushMouse(vr::VREvent_MouseMove, 3, 4);
    m_mouse->OnTimeoutPumpEvents();
    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(0));
    QCOMPARE(m_recorder.events.size(), 1);
}

// A record size that is not this platform's would let the runtime write past our record.
void TestVRMouse::pollsWithThePlatformRecordSize()
{
    VRMouse systemMouse(m_vr.overlay(), m_renderer.get(), true);
    pushMouse(vr::VREvent_MouseMove, 3, 4);
    vrsim::pushSystemEvent(vrsim::plainEvent(vr::VREvent_OverlayShown));
    m_mouse->OnTimeoutPumpEvents();
    systemMouse.OnTimeoutPumpEvents();

    const std::string size = " size=" + std::to_string(sizeof(vr::VREvent_t)) + " ";
    int polls = 0;
    for (const std::string& line : vrsim::traceLines()) {
        if (line.rfind("PollNextOverlayEvent", 0) == 0 || line.rfind("PollNextEvent", 0) == 0) {
            QVERIFY2(line.find(size) != std::string::npos, line.c_str());
            ++polls;
        }
    }
    QVERIFY(polls >= 2);
}

void TestVRMouse::systemQueueWhenAsked()
{
    VRMouse systemMouse(m_vr.overlay(), m_renderer.get(), true);
    pushMouse(vr::VREvent_MouseMove, 50, 60);
    vrsim::pushSystemEvent(vrsim::mouseEvent(vr::VREvent_MouseMove, 70, 80));
    systemMouse.OnTimeoutPumpEvents();

    QCOMPARE(vrsim::pendingSystemEvents(), size_t(0));
    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(1));
    QCOMPARE(m_recorder.events.size(), 1);
    QCOMPARE(m_recorder.events.at(0).local, QPointF(70, 80));
}

void TestVRMouse::quitStopsEverythingAndEndsTheLoop()
{
    QCOMPARE(m_mouse->initPumpTimer(), 0);
    const int acknowledged = vrsim::quitAcknowledgements();
    pushMouse(vr::VREvent_MouseMove, 11, 12);
    vrsim::pushOverlayEvent(vrsim::plainEvent(vr::VREvent_Quit));
    pushMouse(vr::VREvent_MouseMove, 13, 14);
    pushMouse(vr::VREvent_MouseButtonDown, 13, 14, vr::VRMouseButton_Left);

    // The pump runs from its own timer inside a loop, as in the program.
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
    QCOMPARE(m_mouse->startPump(), 0);
    QCOMPARE(loop.exec(), 0);

    QCOMPARE(vrsim::quitAcknowledgements(), acknowledged + 1);
    QCOMPARE(m_recorder.events.size(), 1);
    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(2));
    // The timer is gone for good.
    QCOMPARE(m_mouse->startPump(), -1);
    QTest::qWait(60);
    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(2));
}

void TestVRMouse::pumpTimerLifecycle()
{
    QCOMPARE(m_mouse->startPump(), -1); // no timer yet
    QCOMPARE(m_mouse->initPumpTimer(), 0);
    QCOMPARE(m_mouse->startPump(), 0);
    QCOMPARE(m_mouse->startPump(), -1); // already running

    // Running on its own, the pump drains the queue every 20 ms.
    pushMouse(vr::VREvent_MouseMove, 30, 40);
    QTRY_COMPARE(m_recorder.events.size(), 1);
    pushMouse(vr::VREvent_MouseMove, 31, 40);
    QTRY_COMPARE(m_recorder.events.size(), 2);
}

void TestVRMouse::tenThousandQueuedEventsDrainInOnePump()
{
    // A runtime that stalled and then hands over a burst: moves to new pixels, clicks, scrolls.
    constexpr int moves = 4000, clicks = 2000, scrolls = 2000;
    for (int i = 0; i < moves; ++i) {
        pushMouse(vr::VREvent_MouseMove, float(1 + i % 1900), float(1 + i / 1900));
        if (i < clicks) {
            pushMouse(vr::VREvent_MouseButtonDown, 50, 50, vr::VRMouseButton_Left);
            pushMouse(vr::VREvent_MouseButtonUp, 50, 50, vr::VRMouseButton_Left);
        }
        if (i % (moves / scrolls) == 0)
            vrsim::pushOverlayEvent(vrsim::scrollEvent(0, 0.05f));
    }
    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(10000));
    QSignalSpy moved(m_mouse.get(), &VRMouse::mousePositionChange);

    // The pump runs from its timer, as in the program; a 1 ms heartbeat on the same loop
    // measures the longest time the loop was kept from it.
    QElapsedTimer sinceBeat;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    connect(&heartbeat, &QTimer::timeout, [&] { longestGap = qMax(longestGap, sinceBeat.restart()); });
    qint64 pumpMs = -1;
    QTimer pump;
    pump.setSingleShot(true);
    connect(&pump, &QTimer::timeout, [&] {
        QElapsedTimer timer;
        timer.start();
        m_mouse->OnTimeoutPumpEvents();
        pumpMs = timer.elapsed();
    });
    sinceBeat.start();
    heartbeat.start();
    pump.start(20);
    QTRY_VERIFY(pumpMs >= 0);
    QTest::qWait(50);
    heartbeat.stop();

    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(0)); // one pump took everything
    QCOMPARE(m_recorder.events.size(), moves + 2 * clicks + scrolls);
    QCOMPARE(moved.count(), moves);
    QCOMPARE(m_recorder.events.last().type, QEvent::MouseMove);
    qInfo("10000 queued events: one pump took %lld ms; longest event-loop gap %lld ms", pumpMs, longestGap);
    // The only stall is the pump itself (plus the heartbeat's own slack); a very loose bound.
    QVERIFY2(longestGap <= pumpMs + 1000, qPrintable(QString::number(longestGap)));
}

void TestVRMouse::extremeCoordinates_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<bool>("delivered");

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("NaN") << nan << 10.0f << false;
    QTest::newRow("negative NaN") << 10.0f << -nan << false;
    QTest::newRow("+infinity") << inf << 10.0f << false;
    QTest::newRow("-infinity") << 10.0f << -inf << false;
    // 2^31 is the first float past int; the largest float below it still converts.
    QTest::newRow("2^31") << 2147483648.0f << 10.0f << false;
    QTest::newRow("below int") << -2147483904.0f << 10.0f << false;
    QTest::newRow("1e20") << 10.0f << 1e20f << false;
    QTest::newRow("largest in int") << 2147483520.0f << -2147483648.0f << true;
    QTest::newRow("far off the overlay") << -5000.5f << 1e9f << true;
    QTest::newRow("just off the overlay") << 1920.0f << -1.0f << true;
}

// Positions that cannot be an int are dropped with one error line each; any other position,
// however far off the overlay, is delivered as it is (truncated, not clamped). Either way the
// pump's state is what the good events made it.
void TestVRMouse::extremeCoordinates()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(bool, delivered);

    LogCapture log;
    pushMouse(vr::VREvent_MouseMove, x, y);
    pushMouse(vr::VREvent_MouseButtonDown, x, y, vr::VRMouseButton_Right);
    vrsim::pushOverlayEvent(vrsim::scrollEvent(0, 0.05f)); // at the last good position
    pushMouse(vr::VREvent_MouseButtonUp, x, y, vr::VRMouseButton_Right);
    pushMouse(vr::VREvent_MouseMove, 7, 8);
    m_mouse->OnTimeoutPumpEvents();

    QVector<QEvent::Type> types;
    for (const Delivered& d : m_recorder.events)
        types << d.type;
    if (delivered) {
        const QPointF far(std::trunc(x), std::trunc(y));
        QCOMPARE(types, (QVector<QEvent::Type>{QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::Wheel,
                                               QEvent::MouseButtonRelease, QEvent::MouseMove}));
        QCOMPARE(m_recorder.events.at(0).local, far);
        QCOMPARE(m_recorder.events.at(1).local, far);
        QCOMPARE(m_recorder.events.at(1).buttons, Qt::MouseButtons(Qt::RightButton));
        QCOMPARE(m_recorder.events.at(2).local, far);
        QVERIFY(log.errors().isEmpty());
    } else {
        QCOMPARE(types, (QVector<QEvent::Type>{QEvent::Wheel, QEvent::MouseMove}));
        QCOMPARE(m_recorder.events.at(0).local, QPointF(0, 0));
        QCOMPARE(m_recorder.events.at(0).buttons, Qt::MouseButtons(Qt::NoButton));
        QCOMPARE(log.errors().size(), 3);
        for (const QString& line : log.errors())
            QVERIFY2(line.startsWith("Dropping a pointer event with an unusable position"), qPrintable(line));
    }
    const Delivered& last = m_recorder.events.last();
    QCOMPARE(last.local, QPointF(7, 8));
    QCOMPARE(last.buttons, Qt::MouseButtons(Qt::NoButton));
}

void TestVRMouse::unknownTypesInBulkAreIgnoredSilently()
{
    // Types the pump has no use for, known to the runtime or not, around and between the ones
    // it handles, with mouse data that would be a real position.
    const uint32_t unknown[] = {vr::VREvent_None,
                                1,
                                299,
                                303,
                                304,
                                306,
                                499,
                                501,
                                699,
                                701,
                                vr::VREvent_KeyboardClosed,
                                vr::VREvent_KeyboardCharInput,
                                1203,
                                0x7fffffffu,
                                0xffffffffu};
    LogCapture log;
    int expectedMoves = 0;
    for (int round = 0; round < 100; ++round) {
        for (uint32_t type : unknown)
            pushMouse(type, 600, 600, vr::VRMouseButton_Left);
        pushMouse(vr::VREvent_MouseMove, float(10 + round), 20);
        ++expectedMoves;
    }
    m_mouse->OnTimeoutPumpEvents();

    QCOMPARE(vrsim::pendingOverlayEvents(), size_t(0));
    QCOMPARE(m_recorder.events.size(), expectedMoves);
    for (const Delivered& d : m_recorder.events)
        QCOMPARE(d.type, QEvent::MouseMove);
    QCOMPARE(m_recorder.events.last().local, QPointF(109, 20));
    QVERIFY(log.records().empty());
}

QTEST_MAIN(TestVRMouse)
#include "tst_vrmouse.moc"
