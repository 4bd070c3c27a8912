// The test-facing control API: direct access to the runtime state of this process.
#include <vrsim/control.h>

#include "runtime.h"

namespace vrsim {

namespace {

Runtime& runtime()
{
    return Runtime::instance();
}

Runtime::QueuedEvent queued(const vr::VREvent_t& event)
{
    Runtime::QueuedEvent entry;
    entry.event = event;
    entry.dueMs = runtime().connected ? runtime().msSinceConnect() : 0;
    return entry;
}

} // namespace

void reset()
{
    runtime().reset();
}

bool connected()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().connected;
}

void pushOverlayEvent(const vr::VREvent_t& event, vr::VROverlayHandle_t handle)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().queueOverlayEvent(handle, queued(event));
}

void pushSystemEvent(const vr::VREvent_t& event)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().systemQueue.push_back(queued(event));
}

void pushKeyboardDone(const std::string& text, uint64_t userValue, vr::VROverlayHandle_t handle)
{
    Runtime::Lock lock(runtime().mutex);
    vr::VREvent_t event = plainEvent(vr::VREvent_KeyboardDone);
    event.data.keyboard.uUserValue = userValue;
    Runtime::QueuedEvent entry = queued(event);
    entry.hasKeyboardText = true;
    entry.keyboardText = text;
    runtime().queueOverlayEvent(handle, std::move(entry));
}

size_t pendingOverlayEvents(vr::VROverlayHandle_t handle)
{
    Runtime::Lock lock(runtime().mutex);
    const auto it = runtime().overlayQueues.find(handle == 0 ? runtime().mainHandle : handle);
    return it == runtime().overlayQueues.end() ? 0 : it->second.size();
}

size_t pendingSystemEvents()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().systemQueue.size();
}

vr::VREvent_t mouseEvent(uint32_t type, float x, float y, uint32_t button)
{
    vr::VREvent_t event = plainEvent(type);
    event.data.mouse.x = x;
    event.data.mouse.y = y;
    event.data.mouse.button = button;
    return event;
}

vr::VREvent_t scrollEvent(float xdelta, float ydelta)
{
    vr::VREvent_t event = plainEvent(vr::VREvent_Scroll);
    event.data.scroll.xdelta = xdelta;
    event.data.scroll.ydelta = ydelta;
    event.data.scroll.repeatCount = 1;
    return event;
}

vr::VREvent_t plainEvent(uint32_t type)
{
    vr::VREvent_t event = {};
    event.eventType = type;
    return event;
}

void setOverlayVisible(bool visible)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().dashboard.setQuietly(visible);
}

void setThumbnailVisible(bool visible)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().thumbnailVisible = visible;
}

void openDashboard(const std::string& key)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().dashboard.open(key);
}

void closeDashboard()
{
    Runtime::Lock lock(runtime().mutex);
    runtime().dashboard.close();
}

bool dashboardVisible()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().dashboard.visible();
}

void setSceneProcess(uint32_t pid, const std::string& appKey)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().changeScene(pid, appKey);
}

void quitProcess(uint32_t pid, bool forced)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().processQuit(pid, forced);
}

uint32_t sceneProcess()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().sceneProcess;
}

vr::VROverlayHandle_t mainOverlayHandle()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().mainHandle;
}

vr::VROverlayHandle_t thumbnailHandle()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().thumbHandle;
}

OverlaySettings overlaySettings(vr::VROverlayHandle_t handle)
{
    Runtime::Lock lock(runtime().mutex);
    const auto it = runtime().overlays.find(handle);
    return it == runtime().overlays.end() ? OverlaySettings() : it->second.settings;
}

vr::VROverlayHandle_t overlayHandle(const std::string& key)
{
    Runtime::Lock lock(runtime().mutex);
    for (const auto& entry : runtime().overlays)
        if (entry.second.settings.key == key && !entry.second.settings.thumbnail)
            return entry.first;
    return 0;
}

int submittedFrameCount()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().framesSubmitted;
}

uint32_t lastSubmittedTexture()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().lastTexture;
}

void setFrameReadback(bool enabled)
{
    Runtime::Lock lock(runtime().mutex);
    runtime().readback = enabled;
}

QImage lastFrame()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().lastFrame;
}

std::vector<std::string> registeredManifests()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().registry->manifests();
}

bool autoLaunchEnabled(const std::string& appKey)
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().registry->autoLaunch(appKey);
}

std::vector<std::string> traceLines()
{
    return runtime().trace.lines();
}

int quitAcknowledgements()
{
    Runtime::Lock lock(runtime().mutex);
    return runtime().quitAcknowledged;
}

} // namespace vrsim
