#include "dashboard.h"

#include "runtime.h"

namespace vrsim {

void Dashboard::setQuietly(bool visible)
{
    m_visible = visible;
    m_tab = 0;
}

vr::VROverlayHandle_t Dashboard::shownTab() const
{
    if (!m_visible)
        return 0;
    const vr::VROverlayHandle_t tab = m_tab != 0 ? m_tab : m_runtime.mainHandle;
    return m_runtime.overlays.count(tab) != 0 ? tab : 0;
}

bool Dashboard::shows(vr::VROverlayHandle_t handle) const
{
    return handle != 0 && shownTab() == handle;
}

vr::VROverlayHandle_t Dashboard::open(const std::string& key)
{
    const vr::VROverlayHandle_t before = shownTab();
    const bool wasVisible = m_visible;
    for (const auto& entry : m_runtime.overlays) {
        const OverlaySettings& settings = entry.second.settings;
        if (!key.empty() && settings.key == key && !settings.thumbnail && !settings.world && !settings.foreign)
            m_tab = entry.first;
    }
    m_visible = true;
    const vr::VROverlayHandle_t after = shownTab();
    if (!wasVisible)
        m_runtime.queueSystemEvent(vrsim::plainEvent(vr::VREvent_DashboardActivated));
    if (before != after) {
        if (before != 0)
            m_runtime.queueOverlayEvent(before, m_runtime.queuedNow(vrsim::plainEvent(vr::VREvent_OverlayHidden)));
        if (after != 0)
            m_runtime.queueOverlayEvent(after, m_runtime.queuedNow(vrsim::plainEvent(vr::VREvent_OverlayShown)));
    }
    return after;
}

void Dashboard::close()
{
    if (!m_visible)
        return;
    const vr::VROverlayHandle_t before = shownTab();
    m_visible = false;
    m_runtime.queueSystemEvent(vrsim::plainEvent(vr::VREvent_DashboardDeactivated));
    if (before != 0)
        m_runtime.queueOverlayEvent(before, m_runtime.queuedNow(vrsim::plainEvent(vr::VREvent_OverlayHidden)));
}

void Dashboard::forget(vr::VROverlayHandle_t handle)
{
    if (m_tab == handle)
        m_tab = 0;
}

} // namespace vrsim
