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
    bool overlayVisible = true;
    bool thumbnailVisible = false;
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
    bool pollQueue(std::deque<QueuedEvent>& queue, vr::VREvent_t* event, uint32_t size);
    void frameSubmitted(vr::VROverlayHandle_t handle, uint32_t texture);

private:
    Runtime();
    ~Runtime();
    void showPreview(const QImage& frame, vr::VROverlayHandle_t handle);
    void releaseConnection();

    uint32_t m_token = 0;
    std::chrono::steady_clock::time_point m_connectTime;
    std::unique_ptr<EventScript> m_script;
    std::unique_ptr<FrameCapture> m_capture;
    QPointer<PreviewWindow> m_preview;
    bool m_previewWarned = false;
    SimSystem m_system;
    SimOverlay m_overlay;
    SimApplications m_applications;
};

} // namespace vrsim
