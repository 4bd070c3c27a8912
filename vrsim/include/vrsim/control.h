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
    std::string key;
    std::string name;
    float widthInMeters = 1.0f;
    int inputMethod = vr::VROverlayInputMethod_None;
    uint64_t flags = 0; // bit n set: flag n enabled
    float mouseScaleX = 1.0f;
    float mouseScaleY = 1.0f;
    std::string fromFile;
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

void setOverlayVisible(bool visible);
void setThumbnailVisible(bool visible);

vr::VROverlayHandle_t mainOverlayHandle();
vr::VROverlayHandle_t thumbnailHandle();
OverlaySettings overlaySettings(vr::VROverlayHandle_t handle);

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
