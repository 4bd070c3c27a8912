// The pointer pump serving an overlay other than the program's: a tab of its own by its handle,
// shown and hidden by the dashboard, a click on a page's button, and a program that outlives
// the runtime: a quit request stops the pump without ending the application, and the pump goes
// on under the overlay's new handle after the next connection.

#include "nerqoffwindow.h"
#include "vrmouse.h"
#include "vroverlay.h"

#include <openvr.h>
#include <vrsim/control.h>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const char kPage[] = "import QtQuick 2.5\n"
                     "Item { id: page; width: 1920; height: 1080; property int clicks: 0\n"
                     "  MouseArea { x: 360; y: 560; width: 1200; height: 440; onClicked: page.clicks++ } }\n";

OverlayDescription sessionTab()
{
    OverlayDescription description;
    description.key = "test.session";
    description.name = "Session";
    description.askUser = false;
    description.thumbnail = false;
    return description;
}

} // namespace

class TestOverlayPump : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clicksReachThePageOfItsOwnTab();
    void quitStopsThePumpAndTheProgramGoesOn();

private:
    void click(int x, int y);
    bool connectRuntime();

    QTemporaryDir m_state;
    QQmlEngine m_engine;
    std::unique_ptr<QQuickItem> m_page;
    std::unique_ptr<NerqOffWindow> m_renderer;
    std::unique_ptr<VROverlay> m_tab;
    std::unique_ptr<VRMouse> m_pump;
};

bool TestOverlayPump::connectRuntime()
{
    vr::EVRInitError error = vr::VRInitError_Unknown;
    vr::VR_Init(&error, vr::VRApplication_Background);
    if (error != vr::VRInitError_None)
        return false;
    // The program's tab comes first, so the tab under test is not the runtime's "main" one.
    vr::VROverlayHandle_t program = 0;
    vr::VROverlayHandle_t thumb = 0;
    vr::VROverlay()->CreateDashboardOverlay("test.program", "Program", &program, &thumb);
    return m_tab->open(m_page.get()) == 0 && m_tab->getOverlayHandle() != program;
}

void TestOverlayPump::initTestCase()
{
    qputenv("VRSIM_STATE_DIR", m_state.path().toUtf8());
    qputenv("VRSIM_OVERLAY_VISIBLE", "0");
    vrsim::reset();
    QQmlComponent component(&m_engine);
    component.setData(kPage, QUrl());
    m_page.reset(qobject_cast<QQuickItem*>(component.create()));
    QVERIFY2(m_page, qPrintable(component.errorString()));
    m_tab = std::make_unique<VROverlay>(sessionTab());
    QVERIFY(connectRuntime());

    m_renderer = std::make_unique<NerqOffWindow>();
    try {
        m_renderer->createContext();
    } catch (const std::exception& error) {
        QSKIP(error.what());
    }
    m_renderer->connectOverlay(m_tab.get());
    m_renderer->setRootItem(m_page.get());
    VRMouse::resetPumpState();
    m_pump = std::make_unique<VRMouse>(m_tab->getOverlayHandle(), m_renderer.get(), false);
    m_pump->setExitOnQuit(false);
    m_pump->initPumpTimer();
    QCOMPARE(m_pump->startPump(), 0);
}

void TestOverlayPump::click(int x, int y)
{
    const vr::VROverlayHandle_t handle = m_tab->getOverlayHandle();
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseMove, x, y), handle);
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonDown, x, y, vr::VRMouseButton_Left), handle);
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonUp, x, y, vr::VRMouseButton_Left), handle);
}

void TestOverlayPump::clicksReachThePageOfItsOwnTab()
{
    QSignalSpy shown(m_pump.get(), &VRMouse::overlayShown);
    QSignalSpy hidden(m_pump.get(), &VRMouse::overlayHidden);
    const int frames = vrsim::overlaySettings(m_tab->getOverlayHandle()).texturesSubmitted;
    vr::VROverlay()->ShowDashboard("test.session");
    QTRY_COMPARE(shown.count(), 1);
    // Shown: a fresh frame reaches the tab.
    QTRY_VERIFY(vrsim::overlaySettings(m_tab->getOverlayHandle()).texturesSubmitted > frames);

    click(960, 780);
    QTRY_COMPARE(m_page->property("clicks").toInt(), 1);
    // Events of the program's tab are not this pump's.
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonDown, 960, 780, vr::VRMouseButton_Left));
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonUp, 960, 780, vr::VRMouseButton_Left));
    QTest::qWait(100);
    QCOMPARE(m_page->property("clicks").toInt(), 1);

    vrsim::closeDashboard();
    QTRY_COMPARE(hidden.count(), 1);
}

void TestOverlayPump::quitStopsThePumpAndTheProgramGoesOn()
{
    QSignalSpy quit(m_pump.get(), &VRMouse::quitRequested);
    const int acknowledged = vrsim::quitAcknowledgements();
    vrsim::pushOverlayEvent(vrsim::plainEvent(vr::VREvent_Quit), m_tab->getOverlayHandle());
    click(960, 780);
    QTRY_COMPARE(quit.count(), 1);
    QCOMPARE(vrsim::quitAcknowledgements(), acknowledged + 1);
    // Nothing after the quit is read, and the application's loop still runs timers.
    QTest::qWait(100);
    QCOMPARE(m_page->property("clicks").toInt(), 1);

    // The runtime again: a new connection, a new handle, the same pump.
    vr::VR_Shutdown();
    m_tab->forget();
    QVERIFY(connectRuntime());
    m_pump->setOverlayHandle(m_tab->getOverlayHandle());
    QCOMPARE(m_pump->startPump(), 0);
    click(960, 780);
    QTRY_COMPARE(m_page->property("clicks").toInt(), 2);
}

QTEST_MAIN(TestOverlayPump)
#include "tst_overlaypump.moc"
