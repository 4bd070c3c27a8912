// Test-facing control of the simulated runtime, for in-process tests of code that speaks the
// OpenVR API. Everything here works whether or not a connection is open, unless noted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>
#include <openvr.h>

namespace vrsim {

// What the program asked of one overlay.
struct OverlaySettings {
    bool exists = false;
    bool thumbnail = false;
    bool world = false;   // made by CreateOverlay: shown and hidden by its owner
    bool foreign = false; // another process's, found by FindOverlay: read only
    bool shown = false;   // world overlays: ShowOverlay / HideOverlay
    std::string key;
    std::string name;
    float widthInMeters = 1.0f;
    int inputMethod = vr::VROverlayInputMethod_None;
    uint64_t flags = 0; // bit n set: flag n enabled
    float mouseScaleX = 1.0f;
    float mouseScaleY = 1.0f;
    std::string fromFile;
    float alpha = 1.0f;
    uint32_t sortOrder = 0;
    // SetOverlayTransformTrackedDeviceRelative: the device and the transform from it.
    uint32_t trackedDevice = vr::k_unTrackedDeviceIndexInvalid;
    vr::HmdMatrix34_t transform = {};
    int texturesSubmitted = 0;
    uint32_t lastTexture = 0;
};

// Disconnects and forgets all state of this process: overlays, queues, trace, counters, frames.
// The environment is read again at the next VR_Init. The registry file is not touched.
void reset();

bool connected();

// Handle 0 means the main dashboard overlay (events wait there until one is created).
void pushOverlayEvent(const vr::VREvent_t& event, vr::VROverlayHandle_t handle = 0);
void pushSystemEvent(const vr::VREvent_t& event);
// A keyboard-done event; GetKeyboardText returns text once the event has been polled.
void pushKeyboardDone(const std::string& text, uint64_t userValue, vr::VROverlayHandle_t handle = 0);
size_t pendingOverlayEvents(vr::VROverlayHandle_t handle = 0);
size_t pendingSystemEvents();

// Event builders for the calls above.
vr::VREvent_t mouseEvent(uint32_t type, float x, float y, uint32_t button = 0);
vr::VREvent_t scrollEvent(float xdelta, float ydelta);
vr::VREvent_t plainEvent(uint32_t type);

// Visibility without events, as VRSIM_OVERLAY_VISIBLE sets it: the dashboard up (on the first
// dashboard overlay's tab) or down.
void setOverlayVisible(bool visible);
void setThumbnailVisible(bool visible);
// As the user does it in the headset, with the events: the dashboard opens on the tab of the
// dashboard overlay with this key (empty: on the tab it showed last), or closes.
void openDashboard(const std::string& key);
void closeDashboard();
bool dashboardVisible();

// The application drawing the scene: SceneApplicationChanged on the system queue, and the key
// GetApplicationKeyByProcessId gives for it (may be empty).
void setSceneProcess(uint32_t pid, const std::string& appKey = std::string());
// ProcessQuit on the system queue; the scene process quitting leaves no scene (0).
void quitProcess(uint32_t pid, bool forced = false);
uint32_t sceneProcess();

vr::VROverlayHandle_t mainOverlayHandle();
vr::VROverlayHandle_t thumbnailHandle();
OverlaySettings overlaySettings(vr::VROverlayHandle_t handle);
// The handle of this process's overlay with that key (thumbnails not included), or 0.
vr::VROverlayHandle_t overlayHandle(const std::string& key);

int submittedFrameCount();
uint32_t lastSubmittedTexture();
// With readback on, each submitted OpenGL texture is read with the caller's current context.
void setFrameReadback(bool enabled);
QImage lastFrame();

// The application registry as every process sees it.
std::vector<std::string> registeredManifests();
bool autoLaunchEnabled(const std::string& appKey);

std::vector<std::string> traceLines();
int quitAcknowledgements();

} // namespace vrsim
