// The simulated runtime's state for this process: connection, overlays, event queues,
// visibility, frames. One instance, shared by the interface objects and the control API.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <QImage>
#include <QPointer>

#include "appregistry.h"
#include "config.h"
#include "dashboard.h"
#include "eventscript.h"
#include "filelock.h"
#include "framecapture.h"
#include "previewwindow.h"
#include "simapplications.h"
#include "simoverlay.h"
#include "simsystem.h"
#include "trace.h"
#include <vrsim/control.h>

namespace vrsim {

class Runtime
{
public:
    static Runtime& instance();

    uint32_t connect(vr::EVRInitError* error, vr::EVRApplicationType type);
    void disconnect();
    bool isInterfaceVersionValid(const char* version);
    void* genericInterface(const char* version, vr::EVRInitError* error);
    uint32_t initToken();
    void reset();

    struct QueuedEvent {
        vr::VREvent_t event = {};
        double dueMs = 0;
        bool hasKeyboardText = false;
        std::string keyboardText;
    };

    struct Overlay {
        OverlaySettings settings;
        FileLock keyLock;
    };

    using Lock = std::lock_guard<std::recursive_mutex>;

    // Everything below is used under mutex by the interface objects and the control API.
    std::recursive_mutex mutex;
    Trace trace;
    Config config;
    bool connected = false;
    std::map<vr::VROverlayHandle_t, Overlay> overlays;
    vr::VROverlayHandle_t mainHandle = 0;
    vr::VROverlayHandle_t thumbHandle = 0;
    std::map<vr::VROverlayHandle_t, std::deque<QueuedEvent>> overlayQueues;
    std::deque<QueuedEvent> systemQueue;
    Dashboard dashboard;
    bool thumbnailVisible = false;
    uint32_t sceneProcess = 0;
    std::string sceneAppKey;
    std::string keyboardText;
    int quitAcknowledged = 0;
    int framesSubmitted = 0;
    uint32_t lastTexture = 0;
    bool readback = false;
    QImage lastFrame;
    std::unique_ptr<AppRegistry> registry;

    double msSinceConnect() const;
    // Moves due scripted entries to their queues and applies scripted visibility.
    void pumpScript();
    void queueOverlayEvent(vr::VROverlayHandle_t handle, QueuedEvent event);
    // The event due now.
    QueuedEvent queuedNow(const vr::VREvent_t& event) const;
    void queueSystemEvent(const vr::VREvent_t& event);
    // SceneApplicationChanged, and the key GetApplicationKeyByProcessId gives for the process.
    void changeScene(uint32_t pid, const std::string& appKey);
    // ProcessQuit; the scene process quitting leaves no scene.
    void processQuit(uint32_t pid, bool forced);
    // Drops an overlay of this connection with its events, key lock and capture.
    void removeOverlay(vr::VROverlayHandle_t handle);
    bool pollQueue(std::deque<QueuedEvent>& queue, vr::VREvent_t* event, uint32_t size);
    void frameSubmitted(vr::VROverlayHandle_t handle, uint32_t texture);

private:
    Runtime();
    ~Runtime();
    void showPreview(const QImage& frame, vr::VROverlayHandle_t handle);
    void releaseConnection();
    bool runtimeRunning() const;
    // A runtime that stops tells its clients to quit.
    void watchRunning();
    void applyScriptEntry(ScriptEntry& entry);
    // The capture of an overlay: the first dashboard overlay's in the capture folder itself,
    // every other one's in a folder named after its key.
    FrameCapture* captureFor(vr::VROverlayHandle_t handle, const std::string& key);

    uint32_t m_token = 0;
    std::chrono::steady_clock::time_point m_connectTime;
    std::unique_ptr<EventScript> m_script;
    std::unique_ptr<FrameCapture> m_capture;
    std::map<std::string, std::unique_ptr<FrameCapture>> m_overlayCaptures;
    bool m_watchRunning = false;
    std::chrono::steady_clock::time_point m_runningCheckedAt;
    QPointer<PreviewWindow> m_preview;
    bool m_previewWarned = false;
    SimSystem m_system;
    SimOverlay m_overlay;
    SimApplications m_applications;
};

} // namespace vrsim
