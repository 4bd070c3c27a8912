// The simulated runtime around the overlays: the dashboard opened on a tab with its events, the
// scene process and its events, and background clients that need a runtime that runs already
// and are told to quit when it stops.
#include <QFile>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

namespace {

using VrsimTest::traced;

QList<vr::VREvent_t> drain(vr::VROverlayHandle_t handle)
{
    QList<vr::VREvent_t> events;
    vr::VREvent_t event = {};
    while (handle ? vr::VROverlay()->PollNextOverlayEvent(handle, &event, sizeof event)
                  : vr::VRSystem()->PollNextEvent(&event, sizeof event))
        events.append(event);
    return events;
}

QList<uint32_t> types(const QList<vr::VREvent_t>& events)
{
    QList<uint32_t> result;
    for (const vr::VREvent_t& event : events)
        result.append(event.eventType);
    return result;
}

} // namespace

class TestVrsimDashboard : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_state;
    vr::VROverlayHandle_t m_program = 0;
    vr::VROverlayHandle_t m_session = 0;

    void createTabs()
    {
        vr::VROverlayHandle_t thumb = 0;
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.program", "Program", &m_program, &thumb),
                 vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.session", "Session", &m_session, &thumb),
                 vr::VROverlayError_None);
    }

private slots:
    void cleanup() { vr::VR_Shutdown(); }

    void showDashboardOpensOnTheTabAsked()
    {
        QCOMPARE(VrsimTest::connect(m_state, {{"VRSIM_OVERLAY_VISIBLE", "0"}}), vr::VRInitError_None);
        createTabs();
        vr::IVROverlay* overlay = vr::VROverlay();
        QVERIFY(!overlay->IsDashboardVisible());
        QVERIFY(!overlay->IsActiveDashboardOverlay(m_session));

        overlay->ShowDashboard("test.session");
        QVERIFY(overlay->IsDashboardVisible());
        QVERIFY(overlay->IsActiveDashboardOverlay(m_session));
        QVERIFY(!overlay->IsActiveDashboardOverlay(m_program));
        QVERIFY(overlay->IsOverlayVisible(m_session));
        QVERIFY(!overlay->IsOverlayVisible(m_program));
        QCOMPARE(types(drain(0)), QList<uint32_t>{vr::VREvent_DashboardActivated});
        QCOMPARE(types(drain(m_session)), QList<uint32_t>{vr::VREvent_OverlayShown});
        QVERIFY(drain(m_program).isEmpty());
        QVERIFY(traced("ShowDashboard key=\"test.session\" -> tab=3"));
        QVERIFY(traced("IsDashboardVisible -> 1"));
        QVERIFY(traced("IsActiveDashboardOverlay handle=3 -> 1"));

        // Another tab while it is up: the tabs change, the dashboard was up already.
        overlay->ShowDashboard("test.program");
        QVERIFY(drain(0).isEmpty());
        QCOMPARE(types(drain(m_session)), QList<uint32_t>{vr::VREvent_OverlayHidden});
        QCOMPARE(types(drain(m_program)), QList<uint32_t>{vr::VREvent_OverlayShown});
        // A key that is none of ours keeps the tab it showed.
        overlay->ShowDashboard("someone.else");
        QVERIFY(overlay->IsActiveDashboardOverlay(m_program));
        QVERIFY(drain(m_program).isEmpty());

        // The user closes it.
        vrsim::closeDashboard();
        QVERIFY(!overlay->IsDashboardVisible());
        QCOMPARE(types(drain(0)), QList<uint32_t>{vr::VREvent_DashboardDeactivated});
        QCOMPARE(types(drain(m_program)), QList<uint32_t>{vr::VREvent_OverlayHidden});
        vrsim::closeDashboard();
        QVERIFY(drain(0).isEmpty());

        // A destroyed tab is shown no more; the dashboard falls back to the first one.
        overlay->ShowDashboard("test.session");
        QCOMPARE(overlay->DestroyOverlay(m_session), vr::VROverlayError_None);
        QVERIFY(overlay->IsActiveDashboardOverlay(m_program));
    }

    void settingsAndVisibleLinesChangeItQuietly()
    {
        QCOMPARE(VrsimTest::connect(m_state), vr::VRInitError_None);
        createTabs();
        // Up by default, on the first dashboard overlay's tab, as the program has always seen it.
        QVERIFY(vr::VROverlay()->IsDashboardVisible());
        QVERIFY(vr::VROverlay()->IsOverlayVisible(m_program));
        QVERIFY(!vr::VROverlay()->IsOverlayVisible(m_session));
        vrsim::setOverlayVisible(false);
        QVERIFY(!vr::VROverlay()->IsDashboardVisible());
        QVERIFY(drain(0).isEmpty());
        QVERIFY(drain(m_program).isEmpty());
    }

    void scriptedDashboardAndScene()
    {
        const QString script = m_state.path() + "/events.txt";
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("dashboard open test.session\n"
                   "scene 5000 \"steam.app.620\"\n"
                   "process-quit 77\n"
                   "process-quit 5000 forced\n"
                   "dashboard close\n"
                   "dashboard\n"
                   "dashboard open a b\n"
                   "scene -1\n"
                   "scene 4294967296\n"
                   "process-quit 5 gently\n");
        file.close();
        VrsimTest::StderrCapture stderrCapture;
        QCOMPARE(VrsimTest::connect(m_state, {{"VRSIM_EVENTS", script.toLocal8Bit()},
                                              {"VRSIM_OVERLAY_VISIBLE", "0"},
                                              {"VRSIM_SCENE_PROCESS", "4242:steam.app.250820"}}),
                 vr::VRInitError_None);
        createTabs();
        QCOMPARE(vrsim::sceneProcess(), 4242u);
        const QList<vr::VREvent_t> events = drain(0);
        QCOMPARE(types(events),
                 (QList<uint32_t>{vr::VREvent_DashboardActivated, vr::VREvent_SceneApplicationChanged,
                                  vr::VREvent_ProcessQuit, vr::VREvent_ProcessQuit, vr::VREvent_SceneApplicationChanged,
                                  vr::VREvent_DashboardDeactivated}));
        QCOMPARE(events[1].data.process.pid, 5000u);
        QCOMPARE(events[1].data.process.oldPid, 4242u);
        QCOMPARE(events[2].data.process.pid, 77u);
        QVERIFY(!events[2].data.process.bForced);
        QVERIFY(events[3].data.process.bForced);
        QCOMPARE(events[4].data.process.pid, 0u);
        QCOMPARE(events[4].data.process.oldPid, 5000u);
        QCOMPARE(types(drain(m_session)), (QList<uint32_t>{vr::VREvent_OverlayShown, vr::VREvent_OverlayHidden}));
        QCOMPARE(vr::VRApplications()->GetCurrentSceneProcessId(), 0u);
        QVERIFY(traced("script scene pid=5000 key=\"steam.app.620\""));
        QVERIFY(traced("GetCurrentSceneProcessId -> 0"));
        const QString report = stderrCapture.text();
        for (int line = 6; line <= 10; ++line)
            QVERIFY2(report.contains(QString("events.txt:%1:").arg(line)), qPrintable(report));
    }

    void applicationKeyOfTheSceneProcess()
    {
        QCOMPARE(VrsimTest::connect(m_state, {{"VRSIM_SCENE_PROCESS", "4242:steam.app.620"}}), vr::VRInitError_None);
        vr::IVRApplications* apps = vr::VRApplications();
        char key[64] = "x";
        QCOMPARE(apps->GetApplicationKeyByProcessId(4242, key, sizeof key), vr::VRApplicationError_None);
        QCOMPARE(QByteArray(key), QByteArray("steam.app.620"));
        QVERIFY(traced("GetApplicationKeyByProcessId pid=4242 size=64 -> 0 key=\"steam.app.620\""));
        char small[8] = "x";
        QCOMPARE(apps->GetApplicationKeyByProcessId(4242, small, sizeof small), vr::VRApplicationError_BufferTooSmall);
        QCOMPARE(small[0], '\0');
        QCOMPARE(apps->GetApplicationKeyByProcessId(4243, key, sizeof key), vr::VRApplicationError_UnknownApplication);
        QCOMPARE(apps->GetApplicationKeyByProcessId(0, key, sizeof key), vr::VRApplicationError_UnknownApplication);

        vrsim::setSceneProcess(99, std::string());
        QCOMPARE(apps->GetCurrentSceneProcessId(), 99u);
        QCOMPARE(apps->GetApplicationKeyByProcessId(99, key, sizeof key), vr::VRApplicationError_UnknownApplication);
        vrsim::quitProcess(99);
        QCOMPARE(vrsim::sceneProcess(), 0u);
    }

    void backgroundClientsNeedARunningRuntime()
    {
        const QString running = m_state.path() + "/running";
        QFile::remove(running);
        const QMap<QByteArray, QByteArray> settings{{"VRSIM_RUNNING_FILE", running.toLocal8Bit()}};
        QCOMPARE(VrsimTest::connect(m_state, settings, vr::VRApplication_Background),
                 vr::VRInitError_Init_NoServerForBackgroundApp);
        QVERIFY(!vr::VRSystem());
        QVERIFY(traced("VR_Init type=3 -> 121 VRInitError_Init_NoServerForBackgroundApp"));
        QVERIFY(QByteArray(vr::VR_GetVRInitErrorAsEnglishDescription(vr::VRInitError_Init_NoServerForBackgroundApp))
                    .contains("not running"));
        // Asked again by the same process once the runtime has come up: it connects.
        QFile file(running);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        vr::EVRInitError error = vr::VRInitError_Unknown;
        QVERIFY(vr::VR_Init(&error, vr::VRApplication_Background));
        QCOMPARE(error, vr::VRInitError_None);

        // The runtime stops: its clients are told to quit, once.
        QVERIFY(drain(0).isEmpty());
        QVERIFY(QFile::remove(running));
        QList<uint32_t> seen;
        QTRY_VERIFY((seen += types(drain(0)), seen.contains(vr::VREvent_Quit)));
        QTest::qWait(250);
        QCOMPARE((seen += types(drain(0)), seen), QList<uint32_t>{vr::VREvent_Quit});
        QVERIFY(traced("runtime stopped: quit queued"));
        vr::VR_Shutdown();

        // Other clients would start the runtime themselves; without the setting it always runs.
        QCOMPARE(VrsimTest::connect(m_state, settings, vr::VRApplication_Overlay), vr::VRInitError_None);
        vr::VR_Shutdown();
        QCOMPARE(VrsimTest::connect(m_state, {}, vr::VRApplication_Background), vr::VRInitError_None);
    }
};

QTEST_GUILESS_MAIN(TestVrsimDashboard)
#include "tst_vrsimdashboard.moc"
