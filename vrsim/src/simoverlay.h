// IVROverlay of the simulated runtime: dashboard and world overlays, their settings, events and
// frames, and the dashboard.
#pragma once

#include <string>

#include <openvr.h>
#include <vrsim/control.h>

#include "overlaytable.h"

namespace vrsim {

class Runtime;

class SimOverlay : public vr::IVROverlay
{
public:
    explicit SimOverlay(Runtime& runtime)
        : m_runtime(runtime)
        , m_table(runtime)
    {}

    vr::EVROverlayError CreateDashboardOverlay(const char* pchOverlayKey, const char* pchOverlayFriendlyName,
                                               vr::VROverlayHandle_t* pMainHandle,
                                               vr::VROverlayHandle_t* pThumbnailHandle) override;
    const char* GetOverlayErrorNameFromEnum(vr::EVROverlayError error) override;
    vr::EVROverlayError SetOverlayFlag(vr::VROverlayHandle_t ulOverlayHandle, vr::VROverlayFlags eOverlayFlag,
                                       bool bEnabled) override;
    vr::EVROverlayError SetOverlayWidthInMeters(vr::VROverlayHandle_t ulOverlayHandle, float fWidthInMeters) override;
    bool IsOverlayVisible(vr::VROverlayHandle_t ulOverlayHandle) override;
    bool PollNextOverlayEvent(vr::VROverlayHandle_t ulOverlayHandle, vr::VREvent_t* pEvent,
                              uint32_t uncbVREvent) override;
    vr::EVROverlayError SetOverlayInputMethod(vr::VROverlayHandle_t ulOverlayHandle,
                                              vr::VROverlayInputMethod eInputMethod) override;
    vr::EVROverlayError SetOverlayMouseScale(vr::VROverlayHandle_t ulOverlayHandle,
                                             const vr::HmdVector2_t* pvecMouseScale) override;
    vr::EVROverlayError SetOverlayTexture(vr::VROverlayHandle_t ulOverlayHandle,
                                          const vr::Texture_t* pTexture) override;
    vr::EVROverlayError SetOverlayFromFile(vr::VROverlayHandle_t ulOverlayHandle, const char* pchFilePath) override;
    uint32_t GetKeyboardText(char* pchText, uint32_t cchText) override;

    vr::EVROverlayError FindOverlay(const char* pchOverlayKey, vr::VROverlayHandle_t* pOverlayHandle) override;
    vr::EVROverlayError CreateOverlay(const char* pchOverlayKey, const char* pchOverlayName,
                                      vr::VROverlayHandle_t* pOverlayHandle) override;
    vr::EVROverlayError DestroyOverlay(vr::VROverlayHandle_t ulOverlayHandle) override;
    vr::EVROverlayError SetOverlayAlpha(vr::VROverlayHandle_t ulOverlayHandle, float fAlpha) override;
    vr::EVROverlayError SetOverlaySortOrder(vr::VROverlayHandle_t ulOverlayHandle, uint32_t unSortOrder) override;
    vr::EVROverlayError
    SetOverlayTransformTrackedDeviceRelative(vr::VROverlayHandle_t ulOverlayHandle,
                                             vr::TrackedDeviceIndex_t unTrackedDevice,
                                             const vr::HmdMatrix34_t* pmatTrackedDeviceToOverlayTransform) override;
    vr::EVROverlayError ShowOverlay(vr::VROverlayHandle_t ulOverlayHandle) override;
    vr::EVROverlayError HideOverlay(vr::VROverlayHandle_t ulOverlayHandle) override;
    bool IsDashboardVisible() override;
    bool IsActiveDashboardOverlay(vr::VROverlayHandle_t ulOverlayHandle) override;
    void ShowDashboard(const char* pchOverlayToShow) override;

    void restartHandles() { m_table.restartHandles(); }

private:
    // Traces the call and passes the error through.
    vr::EVROverlayError done(const std::string& call, int error);
    // Applies a setting to an existing overlay; unknown handles give InvalidHandle.
    template <typename Change>
    vr::EVROverlayError update(const std::string& call, vr::VROverlayHandle_t handle, Change change);
    // World overlays when shown, thumbnails by the setting, dashboard overlays while the dashboard
    // shows their tab; another process's never.
    bool seen(vr::VROverlayHandle_t handle, const OverlaySettings& settings) const;
    // ShowOverlay and HideOverlay.
    vr::EVROverlayError setShown(vr::VROverlayHandle_t handle, bool shown);

    Runtime& m_runtime;
    OverlayTable m_table;
};

} // namespace vrsim
