#include "headsetdisplay.h"

#include "headsetstate.h"
#include "runtimeconnection.h"
#include "vrmouse.h"

#include <easylogging++.h>

#include <QQmlContext>

#include <openvr.h>

#include <utility>

namespace {

// Small and a little below the eyes, about 2 m ahead: read at a glance, the game stays in view.
constexpr float kNoticeWidthInMeters = 0.7f;
constexpr float kNoticeDistance = 2.0f;
constexpr float kNoticeBelowEyes = 0.3f;
constexpr uint32_t kNoticeSortOrder = 100;
const QSize kNoticeSize(800, 260);
const QSize kTabSize(1920, 1080);

OverlayDescription noticeOverlay()
{
    OverlayDescription description;
    description.kind = OverlayDescription::Kind::World;
    description.key = HeadsetDisplay::kNoticeKey;
    description.name = "NERQ notice";
    description.widthInMeters = kNoticeWidthInMeters;
    description.pointer = false;
    description.thumbnail = false;
    description.askUser = false;
    return description;
}

OverlayDescription sessionTab()
{
    OverlayDescription description;
    description.key = HeadsetDisplay::kSessionKey;
    description.name = "NERQ session";
    description.askUser = false;
    return description;
}

} // namespace

HeadsetDisplay::HeadsetDisplay(HeadsetState& state, RuntimeConnection& runtime, QString resources)
    : m_state(state)
    , m_runtime(runtime)
    , m_resources(std::move(resources))
    , m_notice(&m_engine, noticeOverlay(), kNoticeSize)
    , m_tab(&m_engine, sessionTab(), kTabSize)
{
    m_engine.rootContext()->setContextProperty("headset", &m_state);
    connect(&m_state, &HeadsetState::changed, this, &HeadsetDisplay::follow);
    connect(&m_state, &HeadsetState::languageChanged, this, &HeadsetDisplay::loadPages);
    connect(&m_runtime, &RuntimeConnection::connected, this, &HeadsetDisplay::runtimeConnected);
    connect(&m_runtime, &RuntimeConnection::disconnected, this, &HeadsetDisplay::runtimeDisconnected);
}

bool HeadsetDisplay::create()
{
    m_notice.createRenderer();
    m_tab.createRenderer();
    VRMouse* pointer = m_tab.pointer();
    connect(pointer, &VRMouse::overlayShown, &m_state, [this] { m_state.setTabShown(true); });
    connect(pointer, &VRMouse::overlayHidden, &m_state, [this] { m_state.setTabShown(false); });
    connect(pointer, &VRMouse::quitRequested, &m_runtime, [this] { m_runtime.letGo("the runtime is stopping"); });
    return loadPages(m_state.language());
}

bool HeadsetDisplay::loadPages(ViewLanguage language)
{
    const QString suffix = language == ViewLanguage::English ? "_en.qml" : "_cn.qml";
    const bool notice = m_notice.loadPage(m_resources + "/headset/notice" + suffix);
    return m_tab.loadPage(m_resources + "/headset/session" + suffix) && notice;
}

void HeadsetDisplay::runtimeConnected()
{
    m_noticeShown = false;
    if (m_notice.open())
        placeNotice();
    // The tab counts as shown once the dashboard says so.
    const bool tab = m_tab.open();
    m_state.setTabShown(tab && vr::VROverlay()->IsActiveDashboardOverlay(m_tab.overlay().getOverlayHandle()));
    follow();
}

void HeadsetDisplay::runtimeDisconnected()
{
    m_notice.forget();
    m_tab.forget();
    m_noticeShown = false;
    m_state.setTabShown(false);
}

void HeadsetDisplay::placeNotice()
{
    vr::IVROverlay* overlay = vr::VROverlay();
    const vr::VROverlayHandle_t handle = m_notice.overlay().getOverlayHandle();
    // Relative to the headset: it follows the head wherever the customer looks.
    const vr::HmdMatrix34_t ahead = {{{1, 0, 0, 0}, {0, 1, 0, -kNoticeBelowEyes}, {0, 0, 1, -kNoticeDistance}}};
    overlay->SetOverlayTransformTrackedDeviceRelative(handle, vr::k_unTrackedDeviceIndex_Hmd, &ahead);
    overlay->SetOverlaySortOrder(handle, kNoticeSortOrder);
}

void HeadsetDisplay::follow()
{
    vr::IVROverlay* overlay = m_runtime.isConnected() ? vr::VROverlay() : nullptr;
    if (!overlay)
        return;
    const bool wanted = m_state.notice() != QLatin1String("none");
    if (m_notice.overlay().isOpen() && wanted != m_noticeShown) {
        const vr::VROverlayHandle_t handle = m_notice.overlay().getOverlayHandle();
        if (wanted)
            overlay->ShowOverlay(handle);
        else
            overlay->HideOverlay(handle);
        m_noticeShown = wanted;
    }
    if (m_state.wantsDashboard() && m_tab.overlay().isOpen()) {
        // Most games pause under the dashboard: the customer stops where time ran out.
        LOG(INFO) << "Time is up: the dashboard opens on the session tab";
        overlay->ShowDashboard(kSessionKey);
        m_state.dashboardOpened();
    }
}
