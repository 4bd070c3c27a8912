#include "runtime.h"

#include <cstring>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QThread>

#include "errornames.h"
#include "texturereader.h"

namespace vrsim {

namespace {

const char* const kKnownVersions[] = {
    vr::IVRSystem_Version,    vr::IVRSettings_Version,       vr::IVROverlay_Version,    vr::IVRApplications_Version,
    vr::IVRChaperone_Version, vr::IVRChaperoneSetup_Version, vr::IVRCompositor_Version, vr::IVRNotifications_Version,
};

// Milliseconds on the monotonic clock, comparable with other processes' clock_gettime readings.
double monotonicMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(now).count();
}

} // namespace

Runtime& Runtime::instance()
{
    static Runtime* runtime = new Runtime; // never destroyed: overlays may outlive static teardown
    return *runtime;
}

Runtime::Runtime()
    : config(Config::fromEnvironment())
    , dashboard(*this)
    , registry(std::make_unique<AppRegistry>(config.stateDir))
    , m_system(*this)
    , m_overlay(*this)
    , m_applications(*this)
{}

Runtime::~Runtime() = default;

uint32_t Runtime::connect(vr::EVRInitError* error, vr::EVRApplicationType type)
{
    Lock lock(mutex);
    int result = vr::VRInitError_None;
    if (!connected) {
        config = Config::fromEnvironment();
        result = config.initError;
        // A background client never starts the runtime: it needs one that runs already.
        if (result == vr::VRInitError_None && type == vr::VRApplication_Background && !runtimeRunning())
            result = vr::VRInitError_Init_NoServerForBackgroundApp;
        if (result == vr::VRInitError_None && !QDir().mkpath(QString::fromStdString(config.stateDir))) {
            std::fprintf(stderr, "vrsim: cannot create state directory \"%s\"\n", config.stateDir.c_str());
            result = vr::VRInitError_Init_PathRegistryNotFound;
        }
        if (result == vr::VRInitError_None) {
            connected = true;
            ++m_token;
            m_connectTime = std::chrono::steady_clock::now();
            dashboard.setQuietly(config.overlayVisible);
            thumbnailVisible = config.thumbnailVisible;
            sceneProcess = config.sceneProcess;
            sceneAppKey = config.sceneAppKey;
            m_watchRunning = !config.runningFile.empty();
            m_runningCheckedAt = m_connectTime;
            registry = std::make_unique<AppRegistry>(config.stateDir);
            m_script = config.eventsFile.empty() ? nullptr : std::make_unique<EventScript>(config.eventsFile);
            m_capture = std::make_unique<FrameCapture>(config.captureDir, config.captureMode);
        }
    }
    if (error)
        *error = static_cast<vr::EVRInitError>(result);
    trace.write("VR_Init type=" + std::to_string(type) + " -> " + std::to_string(result) + " "
                + initErrorSymbol(result));
    return result == vr::VRInitError_None ? m_token : 0;
}

void Runtime::releaseConnection()
{
    // Overlays die with the connection, which frees their keys for other processes.
    overlays.clear();
    overlayQueues.clear();
    systemQueue.clear();
    mainHandle = 0;
    thumbHandle = 0;
    m_script.reset();
    m_capture.reset();
    m_overlayCaptures.clear();
    m_watchRunning = false;
    if (connected) {
        connected = false;
        ++m_token;
    }
}

void Runtime::disconnect()
{
    Lock lock(mutex);
    trace.write("VR_Shutdown");
    releaseConnection();
}

bool Runtime::isInterfaceVersionValid(const char* version)
{
    Lock lock(mutex);
    bool valid = false;
    if (connected && version) {
        for (const char* known : kKnownVersions)
            valid = valid || std::strcmp(known, version) == 0;
        valid = valid && config.missingInterfaces.count(version) == 0;
    }
    trace.write("VR_IsInterfaceVersionValid version=" + Trace::quoted(version) + " -> " + std::to_string(valid));
    return valid;
}

void* Runtime::genericInterface(const char* version, vr::EVRInitError* error)
{
    Lock lock(mutex);
    void* found = nullptr;
    int result = vr::VRInitError_None;
    if (!connected) {
        result = vr::VRInitError_Init_NotInitialized;
    } else if (version && config.missingInterfaces.count(version) == 0) {
        if (std::strcmp(version, vr::IVRSystem_Version) == 0)
            found = static_cast<vr::IVRSystem*>(&m_system);
        else if (std::strcmp(version, vr::IVROverlay_Version) == 0 && !config.noOverlayInterface)
            found = static_cast<vr::IVROverlay*>(&m_overlay);
        else if (std::strcmp(version, vr::IVRApplications_Version) == 0)
            found = static_cast<vr::IVRApplications*>(&m_applications);
    }
    if (!found && result == vr::VRInitError_None)
        result = vr::VRInitError_Init_InterfaceNotFound;
    if (error)
        *error = static_cast<vr::EVRInitError>(result);
    trace.write("VR_GetGenericInterface version=" + Trace::quoted(version) + " -> "
                + (found ? "interface" : "null error=" + std::to_string(result)));
    return found;
}

uint32_t Runtime::initToken()
{
    Lock lock(mutex);
    return m_token;
}

void Runtime::reset()
{
    Lock lock(mutex);
    releaseConnection();
    trace.reset();
    config = Config::fromEnvironment();
    registry = std::make_unique<AppRegistry>(config.stateDir);
    dashboard.setQuietly(config.overlayVisible);
    thumbnailVisible = config.thumbnailVisible;
    sceneProcess = 0;
    sceneAppKey.clear();
    keyboardText.clear();
    quitAcknowledged = 0;
    framesSubmitted = 0;
    lastTexture = 0;
    readback = false;
    lastFrame = QImage();
    m_overlay.restartHandles();
    if (m_preview && qGuiApp)
        delete m_preview.data();
}

double Runtime::msSinceConnect() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_connectTime).count();
}

void Runtime::queueOverlayEvent(vr::VROverlayHandle_t handle, QueuedEvent event)
{
    overlayQueues[handle == 0 ? mainHandle : handle].push_back(std::move(event));
}

Runtime::QueuedEvent Runtime::queuedNow(const vr::VREvent_t& event) const
{
    QueuedEvent queued;
    queued.event = event;
    queued.dueMs = connected ? msSinceConnect() : 0;
    return queued;
}

void Runtime::queueSystemEvent(const vr::VREvent_t& event)
{
    systemQueue.push_back(queuedNow(event));
}

void Runtime::changeScene(uint32_t pid, const std::string& appKey)
{
    vr::VREvent_t event = vrsim::plainEvent(vr::VREvent_SceneApplicationChanged);
    event.data.process.pid = pid;
    event.data.process.oldPid = sceneProcess;
    sceneProcess = pid;
    sceneAppKey = appKey;
    queueSystemEvent(event);
}

void Runtime::processQuit(uint32_t pid, bool forced)
{
    vr::VREvent_t event = vrsim::plainEvent(vr::VREvent_ProcessQuit);
    event.data.process.pid = pid;
    event.data.process.bForced = forced;
    queueSystemEvent(event);
    if (pid != 0 && pid == sceneProcess)
        changeScene(0, std::string());
}

void Runtime::removeOverlay(vr::VROverlayHandle_t handle)
{
    auto it = overlays.find(handle);
    if (it == overlays.end())
        return;
    m_overlayCaptures.erase(it->second.settings.key);
    overlays.erase(it);
    overlayQueues.erase(handle);
    dashboard.forget(handle);
    if (handle == mainHandle)
        mainHandle = 0;
    if (handle == thumbHandle)
        thumbHandle = 0;
}

bool Runtime::runtimeRunning() const
{
    return config.runningFile.empty() || QFileInfo::exists(QString::fromStdString(config.runningFile));
}

void Runtime::watchRunning()
{
    // A look every 100 ms is plenty, and polls come fifty times a second.
    const auto now = std::chrono::steady_clock::now();
    if (!m_watchRunning || now - m_runningCheckedAt < std::chrono::milliseconds(100))
        return;
    m_runningCheckedAt = now;
    if (runtimeRunning())
        return;
    m_watchRunning = false;
    queueSystemEvent(vrsim::plainEvent(vr::VREvent_Quit));
    trace.write("runtime stopped: quit queued");
}

void Runtime::applyScriptEntry(ScriptEntry& entry)
{
    switch (entry.kind) {
    case ScriptEntry::Kind::Visibility:
        if (entry.thumbnail)
            thumbnailVisible = entry.visible;
        else
            dashboard.setQuietly(entry.visible);
        trace.write(std::string("script visible ") + (entry.thumbnail ? "thumbnail" : "overlay") + " "
                    + std::to_string(entry.visible));
        return;
    case ScriptEntry::Kind::Dashboard:
        trace.write(entry.visible ? "script dashboard open key=" + Trace::quoted(entry.key.c_str())
                                  : std::string("script dashboard close"));
        if (entry.visible)
            dashboard.open(entry.key);
        else
            dashboard.close();
        return;
    case ScriptEntry::Kind::Scene:
        trace.write("script scene pid=" + std::to_string(entry.pid) + " key=" + Trace::quoted(entry.key.c_str()));
        changeScene(entry.pid, entry.key);
        return;
    case ScriptEntry::Kind::ProcessQuit:
        trace.write("script process-quit pid=" + std::to_string(entry.pid) + " forced=" + std::to_string(entry.forced));
        processQuit(entry.pid, entry.forced);
        return;
    case ScriptEntry::Kind::OverlayEvent:
    case ScriptEntry::Kind::SystemEvent:
        break;
    }
    QueuedEvent queued;
    queued.event = entry.event;
    queued.dueMs = entry.dueMs;
    queued.hasKeyboardText = entry.hasKeyboardText;
    queued.keyboardText = std::move(entry.keyboardText);
    if (entry.kind == ScriptEntry::Kind::SystemEvent)
        systemQueue.push_back(std::move(queued));
    else
        queueOverlayEvent(0, std::move(queued));
}

void Runtime::pumpScript()
{
    watchRunning();
    if (!m_script)
        return;
    for (ScriptEntry& entry : m_script->takeDue(msSinceConnect()))
        applyScriptEntry(entry);
}

bool Runtime::pollQueue(std::deque<QueuedEvent>& queue, vr::VREvent_t* event, uint32_t size)
{
    if (!event || queue.empty())
        return false;
    QueuedEvent next = std::move(queue.front());
    queue.pop_front();
    const double age = connected ? msSinceConnect() - next.dueMs : 0;
    next.event.eventAgeSeconds = static_cast<float>(age > 0 ? age / 1000.0 : 0.0);
    // The caller's record may be smaller than ours (or an older layout): never write past it.
    std::memcpy(event, &next.event, std::min<size_t>(size, sizeof(vr::VREvent_t)));
    if (next.hasKeyboardText)
        keyboardText = next.keyboardText;
    return true;
}

FrameCapture* Runtime::captureFor(vr::VROverlayHandle_t handle, const std::string& key)
{
    if (!m_capture || !m_capture->enabled() || handle == mainHandle)
        return m_capture.get();
    std::unique_ptr<FrameCapture>& capture = m_overlayCaptures[key];
    if (!capture)
        capture = std::make_unique<FrameCapture>(config.captureDir + "/" + fileNameOf(key), config.captureMode);
    return capture.get();
}

void Runtime::frameSubmitted(vr::VROverlayHandle_t handle, uint32_t texture)
{
    const double timeMs = monotonicMs();
    ++framesSubmitted;
    lastTexture = texture;
    OverlaySettings& settings = overlays[handle].settings;
    ++settings.texturesSubmitted;
    settings.lastTexture = texture;

    FrameCapture* capture = captureFor(handle, settings.key);
    const bool capturing = capture && capture->enabled();
    // The preview shows the first dashboard overlay, whose events it makes.
    const bool preview = config.preview && handle == mainHandle;
    const bool wantPixels = (capture && capture->wantsPixels()) || readback || preview;
    QImage image;
    if (wantPixels)
        image = TextureReader::read(texture);
    if (capturing)
        capture->record(settings.texturesSubmitted, timeMs, texture,
                        image.isNull() ? TextureReader::size(texture) : image.size(), image);
    if (readback)
        lastFrame = image;
    if (preview && !image.isNull())
        showPreview(image, handle);
}

void Runtime::showPreview(const QImage& frame, vr::VROverlayHandle_t handle)
{
    if (!qGuiApp || QThread::currentThread() != qGuiApp->thread()) {
        if (!m_previewWarned)
            std::fprintf(stderr, "vrsim: preview needs a QGuiApplication and its thread; off\n");
        m_previewWarned = true;
        return;
    }
    // Creating or painting a window must not leave the caller with another GL context current.
    QOpenGLContext* context = QOpenGLContext::currentContext();
    QSurface* surface = context ? context->surface() : nullptr;
    if (!m_preview) {
        auto toOverlay = [this](const vr::VREvent_t& event) {
            Lock lock(mutex);
            QueuedEvent queued;
            queued.event = event;
            queued.dueMs = connected ? msSinceConnect() : 0;
            queueOverlayEvent(0, std::move(queued));
        };
        auto closed = [this]() {
            Lock lock(mutex);
            QueuedEvent quit;
            quit.event.eventType = vr::VREvent_Quit;
            quit.dueMs = connected ? msSinceConnect() : 0;
            queueOverlayEvent(0, quit);
            systemQueue.push_back(quit);
            trace.write("preview closed: quit queued");
        };
        m_preview = new PreviewWindow(toOverlay, closed, config.previewSnapshot);
    }
    const OverlaySettings& settings = overlays[handle].settings;
    m_preview->showFrame(frame, QSizeF(settings.mouseScaleX, settings.mouseScaleY));
    if (context && QOpenGLContext::currentContext() != context)
        context->makeCurrent(surface);
}

} // namespace vrsim
