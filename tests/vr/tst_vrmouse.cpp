// The input pump against the simulated runtime: each runtime event it polls must reach the
// offscreen window as exactly the Qt event the page expects.

#include "nerqoffwindow.h"
#include "vrmouse.h"
#include "vroverlay.h"
#include "vrtestfixture.h"

#include "logcapture.h"

#include <vrsim/control.h>

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

QTEST_MAIN(TestVRMouse)
#include "tst_vrmouse.moc"
