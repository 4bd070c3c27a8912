// IVROverlay of the simulated runtime: dashboard overlays, their settings, events and frames.
#pragma once

#include <string>

#include <openvr.h>

namespace vrsim {

class Runtime;

class SimOverlay : public vr::IVROverlay
{
public:
    explicit SimOverlay(Runtime& runtime)
        : m_runtime(runtime)
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

    // Numbering starts again at 1, as in a fresh process.
    void restartHandles() { m_nextHandle = 1; }

private:
    // Traces the call and passes the error through.
    vr::EVROverlayError done(const std::string& call, int error);
    // Applies a setting to an existing overlay; unknown handles give InvalidHandle.
    template <typename Change>
    vr::EVROverlayError update(const std::string& call, vr::VROverlayHandle_t handle, Change change);
    // Locked file per key in the state directory; its name keeps only safe characters.
    std::string keyLockPath(const std::string& key) const;

    Runtime& m_runtime;
    vr::VROverlayHandle_t m_nextHandle = 1;
};

} // namespace vrsim
