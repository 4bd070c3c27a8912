// World overlays of the simulated runtime: hidden until shown, placed relative to a tracked
// device, alpha and sort order, their own events; keys shared with dashboard overlays across
// processes, the limits of keys and counts, finding another process's overlay, destroying.
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

namespace {

using VrsimTest::traced;

QList<uint32_t> overlayEvents(vr::VROverlayHandle_t handle)
{
    QList<uint32_t> types;
    vr::VREvent_t event = {};
    while (vr::VROverlay()->PollNextOverlayEvent(handle, &event, sizeof event))
        types.append(event.eventType);
    return types;
}

// 2 m ahead of the viewer and 0.3 m below the eyes.
vr::HmdMatrix34_t aheadOfTheEyes()
{
    return {{{1, 0, 0, 0}, {0, 1, 0, -0.3f}, {0, 0, 1, -2}}};
}

} // namespace

class TestVrsimWorld : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_state;

    vr::VROverlayHandle_t createWorld(const char* key)
    {
        vr::VROverlayHandle_t handle = 0;
        const vr::EVROverlayError error = vr::VROverlay()->CreateOverlay(key, "World", &handle);
        return error == vr::VROverlayError_None ? handle : 0;
    }

private slots:
    void init() { QCOMPARE(VrsimTest::connect(m_state), vr::VRInitError_None); }
    void cleanup() { vr::VR_Shutdown(); }

    void hiddenUntilShownAndPlacedOnTheHead()
    {
        vr::IVROverlay* overlay = vr::VROverlay();
        const vr::VROverlayHandle_t notice = createWorld("test.notice");
        QCOMPARE(notice, vr::VROverlayHandle_t(1));
        QVERIFY(traced("CreateOverlay key=\"test.notice\" name=\"World\" -> 0 handle=1"));
        QVERIFY(!overlay->IsOverlayVisible(notice));

        const vr::HmdMatrix34_t transform = aheadOfTheEyes();
        QCOMPARE(overlay->SetOverlayTransformTrackedDeviceRelative(notice, vr::k_unTrackedDeviceIndex_Hmd, &transform),
                 vr::VROverlayError_None);
        QCOMPARE(overlay->SetOverlayAlpha(notice, 0.9f), vr::VROverlayError_None);
        QCOMPARE(overlay->SetOverlaySortOrder(notice, 100), vr::VROverlayError_None);
        QCOMPARE(overlay->SetOverlayWidthInMeters(notice, 0.8f), vr::VROverlayError_None);
        const vrsim::OverlaySettings settings = vrsim::overlaySettings(notice);
        QVERIFY(settings.world);
        QCOMPARE(settings.trackedDevice, vr::k_unTrackedDeviceIndex_Hmd);
        QCOMPARE(settings.transform.m[1][3], -0.3f);
        QCOMPARE(settings.transform.m[2][3], -2.0f);
        QCOMPARE(settings.alpha, 0.9f);
        QCOMPARE(settings.sortOrder, 100u);
        QVERIFY(traced(
            "SetOverlayTransformTrackedDeviceRelative handle=1 device=0 matrix=[1 0 0 0; 0 1 0 -0.3; 0 0 1 -2] -> 0"));
        QVERIFY(traced("SetOverlayAlpha handle=1 alpha=0.9 -> 0"));
        QVERIFY(traced("SetOverlaySortOrder handle=1 order=100 -> 0"));

        // Refusals leave the recorded values alone.
        QCOMPARE(overlay->SetOverlayAlpha(notice, 1.5f), vr::VROverlayError_InvalidParameter);
        QCOMPARE(overlay->SetOverlayAlpha(notice, std::numeric_limits<float>::quiet_NaN()),
                 vr::VROverlayError_InvalidParameter);
        QCOMPARE(
            overlay->SetOverlayTransformTrackedDeviceRelative(notice, vr::k_unTrackedDeviceIndexInvalid, &transform),
            vr::VROverlayError_InvalidTrackedDevice);
        QCOMPARE(overlay->SetOverlayTransformTrackedDeviceRelative(notice, 0, nullptr),
                 vr::VROverlayError_InvalidParameter);
        QCOMPARE(vrsim::overlaySettings(notice).alpha, 0.9f);
        QCOMPARE(vrsim::overlaySettings(notice).trackedDevice, vr::k_unTrackedDeviceIndex_Hmd);

        // Shown and hidden by its owner, an event each time it changes and only then.
        QCOMPARE(overlay->ShowOverlay(notice), vr::VROverlayError_None);
        QCOMPARE(overlay->ShowOverlay(notice), vr::VROverlayError_None);
        QVERIFY(overlay->IsOverlayVisible(notice));
        QCOMPARE(overlay->HideOverlay(notice), vr::VROverlayError_None);
        QVERIFY(!overlay->IsOverlayVisible(notice));
        QCOMPARE(overlayEvents(notice), (QList<uint32_t>{vr::VREvent_OverlayShown, vr::VREvent_OverlayHidden}));
        QVERIFY(traced("ShowOverlay handle=1 -> 0"));
        QVERIFY(traced("HideOverlay handle=1 -> 0"));
        QCOMPARE(overlay->ShowOverlay(77), vr::VROverlayError_InvalidHandle);
    }

    void theDashboardAloneShowsItsTabs()
    {
        vr::VROverlayHandle_t main = 0;
        vr::VROverlayHandle_t thumb = 0;
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.tab", "Tab", &main, &thumb), vr::VROverlayError_None);
        const vr::VROverlayHandle_t world = createWorld("test.world");
        QCOMPARE(vr::VROverlay()->ShowOverlay(main), vr::VROverlayError_PermissionDenied);
        QCOMPARE(vr::VROverlay()->HideOverlay(thumb), vr::VROverlayError_PermissionDenied);
        // The dashboard being up shows its tab, never a world overlay.
        QVERIFY(vr::VROverlay()->IsOverlayVisible(main));
        QVERIFY(!vr::VROverlay()->IsOverlayVisible(world));
        // The first dashboard overlay stays the one scripted events and the capture folder mean.
        QCOMPARE(vrsim::mainOverlayHandle(), main);
    }

    void keysAreSharedWithDashboardOverlaysAndLimited()
    {
        vr::VROverlayHandle_t main = 0;
        vr::VROverlayHandle_t thumb = 0;
        QVERIFY(createWorld("test.shared"));
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.shared", "Tab", &main, &thumb),
                 vr::VROverlayError_KeyInUse);
        QCOMPARE(createWorld("test.shared"), vr::VROverlayHandle_t(0));

        vr::VROverlayHandle_t handle = 0;
        QCOMPARE(vr::VROverlay()->CreateOverlay(std::string(127, 'k').c_str(), "n", &handle), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->CreateOverlay(std::string(128, 'k').c_str(), "n", &handle),
                 vr::VROverlayError_KeyTooLong);
        QCOMPARE(vr::VROverlay()->CreateOverlay("test.name", std::string(128, 'n').c_str(), &handle),
                 vr::VROverlayError_NameTooLong);
        QCOMPARE(vr::VROverlay()->CreateOverlay("test.null", "n", nullptr), vr::VROverlayError_InvalidParameter);

        // 64 overlays a process: 2 made, a dashboard overlay counts twice (its thumbnail).
        for (int i = 2; i < 62; ++i)
            QVERIFY(createWorld(qPrintable(QString("test.many.%1").arg(i))));
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.tab", "Tab", &main, &thumb), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->CreateOverlay("test.one.more", "n", &handle),
                 vr::VROverlayError_OverlayLimitExceeded);
        QVERIFY(traced("CreateOverlay key=\"test.one.more\" name=\"n\" -> 13"));

        // Destroying makes room, and the key is free again.
        QCOMPARE(vr::VROverlay()->DestroyOverlay(thumb), vr::VROverlayError_RequestFailed);
        QCOMPARE(vr::VROverlay()->DestroyOverlay(main), vr::VROverlayError_None);
        QCOMPARE(vrsim::overlaySettings(thumb).exists, false);
        QCOMPARE(vr::VROverlay()->CreateOverlay("test.tab", "n", &handle), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->DestroyOverlay(handle), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->DestroyOverlay(handle), vr::VROverlayError_InvalidHandle);
        QVERIFY(traced("DestroyOverlay handle=" + std::to_string(handle) + " -> 11"));
    }

    void destroyedOverlaysTakeTheirEventsAlong()
    {
        const vr::VROverlayHandle_t notice = createWorld("test.notice");
        vr::VROverlay()->ShowOverlay(notice);
        QCOMPARE(vr::VROverlay()->DestroyOverlay(notice), vr::VROverlayError_None);
        const vr::VROverlayHandle_t again = createWorld("test.notice");
        QVERIFY(again != notice);
        QVERIFY(overlayEvents(again).isEmpty());
        QVERIFY(overlayEvents(notice).isEmpty());
    }

    void findsOwnOverlaysAndLooksAtOthers()
    {
        const vr::VROverlayHandle_t notice = createWorld("test.notice");
        vr::VROverlayHandle_t found = 0;
        QCOMPARE(vr::VROverlay()->FindOverlay("test.notice", &found), vr::VROverlayError_None);
        QCOMPARE(found, notice);
        QVERIFY(traced("FindOverlay key=\"test.notice\" -> 0 handle=" + std::to_string(notice)));
        QCOMPARE(vr::VROverlay()->FindOverlay("test.nobody", &found), vr::VROverlayError_UnknownOverlay);
        QCOMPARE(vr::VROverlay()->FindOverlay(nullptr, &found), vr::VROverlayError_InvalidParameter);

        // Another process's overlay: a handle to look at, nothing to change.
        QString created;
        auto holder = VrsimTest::holdKey("test.elsewhere", &created);
        QCOMPARE(created, QString("create 0"));
        vr::VROverlayHandle_t foreign = 0;
        QCOMPARE(vr::VROverlay()->FindOverlay("test.elsewhere", &foreign), vr::VROverlayError_None);
        QVERIFY(vrsim::overlaySettings(foreign).foreign);
        QVERIFY(!vr::VROverlay()->IsOverlayVisible(foreign));
        QCOMPARE(vr::VROverlay()->SetOverlayAlpha(foreign, 0.5f), vr::VROverlayError_PermissionDenied);
        QCOMPARE(vr::VROverlay()->HideOverlay(foreign), vr::VROverlayError_PermissionDenied);
        QCOMPARE(vr::VROverlay()->DestroyOverlay(foreign), vr::VROverlayError_PermissionDenied);
        const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(5)), vr::TextureType_OpenGL,
                                       vr::ColorSpace_Auto};
        QCOMPARE(vr::VROverlay()->SetOverlayTexture(foreign, &texture), vr::VROverlayError_PermissionDenied);
        // It does not take the key here either.
        QCOMPARE(createWorld("test.elsewhere"), vr::VROverlayHandle_t(0));

        holder->kill();
        QVERIFY(holder->waitForFinished(5000));
        QCOMPARE(vr::VROverlay()->FindOverlay("test.gone", &found), vr::VROverlayError_UnknownOverlay);
        QVERIFY(createWorld("test.elsewhere") != 0);
    }

    void overlaysDieWithTheConnection()
    {
        QVERIFY(createWorld("test.notice"));
        vr::VR_Shutdown();
        QCOMPARE(VrsimTest::connect(m_state), vr::VRInitError_None);
        QVERIFY(createWorld("test.notice") != 0);
        QCOMPARE(VrsimTest::probe({"hold", "test.notice"}), QString("create 17"));
    }
};

QTEST_GUILESS_MAIN(TestVrsimWorld)
#include "tst_vrsimworld.moc"
