// The dashboard of the simulated runtime: up or down, and whose tab it shows. Opening and closing
// it as a user does queues the events a real one sends; the settings and "visible" script lines
// change it without events, as they always did.
#pragma once

#include <string>

#include <openvr.h>

namespace vrsim {

class Runtime;

class Dashboard
{
public:
    explicit Dashboard(Runtime& runtime)
        : m_runtime(runtime)
    {}

    // Down or up on the first dashboard overlay's tab, without events.
    void setQuietly(bool visible);
    bool visible() const { return m_visible; }
    // The dashboard is up and shows this dashboard overlay's tab.
    bool shows(vr::VROverlayHandle_t handle) const;
    // Up, on the tab of this process's dashboard overlay with that key when there is one (else on
    // the tab it showed); DashboardActivated, OverlayHidden and OverlayShown as they apply. The
    // tab now shown, 0 for none of ours.
    vr::VROverlayHandle_t open(const std::string& key);
    // Down: DashboardDeactivated and OverlayHidden for the tab that was shown.
    void close();
    // The overlay is gone: its tab is no longer shown.
    void forget(vr::VROverlayHandle_t handle);

private:
    vr::VROverlayHandle_t shownTab() const;

    Runtime& m_runtime;
    bool m_visible = true;
    vr::VROverlayHandle_t m_tab = 0; // 0: the first dashboard overlay's
};

} // namespace vrsim
