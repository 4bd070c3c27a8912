#include "simoverlay.h"

#include <cstring>

#include <QFileInfo>
#include <QImageReader>

#include "errornames.h"
#include "runtime.h"

namespace vrsim {

namespace {

std::string handleText(vr::VROverlayHandle_t handle)
{
    return "handle=" + std::to_string(handle);
}

} // namespace

vr::EVROverlayError SimOverlay::done(const std::string& call, int error)
{
    m_runtime.trace.write(call + " -> " + std::to_string(error));
    return static_cast<vr::EVROverlayError>(error);
}

template <typename Change>
vr::EVROverlayError SimOverlay::update(const std::string& call, vr::VROverlayHandle_t handle, Change change)
{
    auto it = m_runtime.overlays.find(handle);
    if (it == m_runtime.overlays.end())
        return done(call, vr::VROverlayError_InvalidHandle);
    if (it->second.settings.foreign)
        return done(call, vr::VROverlayError_PermissionDenied);
    return done(call, change(it->second.settings));
}

vr::EVROverlayError SimOverlay::CreateDashboardOverlay(const char* pchOverlayKey, const char* pchOverlayFriendlyName,
                                                       vr::VROverlayHandle_t* pMainHandle,
                                                       vr::VROverlayHandle_t* pThumbnailHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    std::string call =
        "CreateDashboardOverlay key=" + Trace::quoted(pchOverlayKey) + " name=" + Trace::quoted(pchOverlayFriendlyName);
    FileLock keyLock;
    const int error = pMainHandle && pThumbnailHandle
                          ? m_table.claim(pchOverlayKey, pchOverlayFriendlyName, 2, &keyLock)
                          : int(vr::VROverlayError_InvalidParameter);
    if (error != vr::VROverlayError_None)
        return done(call, error);

    const vr::VROverlayHandle_t main = m_table.nextHandle();
    const vr::VROverlayHandle_t thumb = m_table.nextHandle();
    m_table.add(main, pchOverlayKey, pchOverlayFriendlyName);
    m_runtime.overlays[main].keyLock = std::move(keyLock);
    m_table.add(thumb, std::string(pchOverlayKey) + ".thumbnail", pchOverlayFriendlyName).thumbnail = true;

    if (m_runtime.mainHandle == 0) {
        m_runtime.mainHandle = main;
        m_runtime.thumbHandle = thumb;
        // Events addressed to "the overlay" before it existed belong to it now.
        auto waiting = m_runtime.overlayQueues.find(0);
        if (waiting != m_runtime.overlayQueues.end()) {
            m_runtime.overlayQueues[main] = std::move(waiting->second);
            m_runtime.overlayQueues.erase(0);
        }
    }
    *pMainHandle = main;
    *pThumbnailHandle = thumb;
    m_runtime.trace.write(call + " -> 0 main=" + std::to_string(main) + " thumb=" + std::to_string(thumb));
    return vr::VROverlayError_None;
}

vr::EVROverlayError SimOverlay::CreateOverlay(const char* pchOverlayKey, const char* pchOverlayName,
                                              vr::VROverlayHandle_t* pOverlayHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call =
        "CreateOverlay key=" + Trace::quoted(pchOverlayKey) + " name=" + Trace::quoted(pchOverlayName);
    FileLock keyLock;
    const int error = pOverlayHandle ? m_table.claim(pchOverlayKey, pchOverlayName, 1, &keyLock)
                                     : int(vr::VROverlayError_InvalidParameter);
    if (error != vr::VROverlayError_None)
        return done(call, error);
    const vr::VROverlayHandle_t handle = m_table.nextHandle();
    m_table.add(handle, pchOverlayKey, pchOverlayName).world = true;
    m_runtime.overlays[handle].keyLock = std::move(keyLock);
    *pOverlayHandle = handle;
    m_runtime.trace.write(call + " -> 0 handle=" + std::to_string(handle));
    return vr::VROverlayError_None;
}

vr::EVROverlayError SimOverlay::FindOverlay(const char* pchOverlayKey, vr::VROverlayHandle_t* pOverlayHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call = "FindOverlay key=" + Trace::quoted(pchOverlayKey);
    if (!pchOverlayKey || !pOverlayHandle)
        return done(call, vr::VROverlayError_InvalidParameter);
    for (const auto& entry : m_runtime.overlays) {
        if (entry.second.settings.key == pchOverlayKey && !entry.second.settings.thumbnail) {
            *pOverlayHandle = entry.first;
            m_runtime.trace.write(call + " -> 0 handle=" + std::to_string(entry.first));
            return vr::VROverlayError_None;
        }
    }
    // Another process holds the key: a handle that may be looked at, not changed.
    const vr::VROverlayHandle_t handle = m_table.addForeign(pchOverlayKey);
    if (handle == 0)
        return done(call, vr::VROverlayError_UnknownOverlay);
    *pOverlayHandle = handle;
    m_runtime.trace.write(call + " -> 0 handle=" + std::to_string(handle) + " foreign");
    return vr::VROverlayError_None;
}

vr::EVROverlayError SimOverlay::DestroyOverlay(vr::VROverlayHandle_t ulOverlayHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    return done("DestroyOverlay " + handleText(ulOverlayHandle), m_table.destroy(ulOverlayHandle));
}

const char* SimOverlay::GetOverlayErrorNameFromEnum(vr::EVROverlayError error)
{
    return overlayErrorName(error);
}

vr::EVROverlayError SimOverlay::SetOverlayFlag(vr::VROverlayHandle_t ulOverlayHandle, vr::VROverlayFlags eOverlayFlag,
                                               bool bEnabled)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call = "SetOverlayFlag " + handleText(ulOverlayHandle) + " flag=" + std::to_string(eOverlayFlag)
                             + " enabled=" + std::to_string(bEnabled);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        // As an int: a caller may pass any value, not only the enum's named ones.
        const int flag = static_cast<int>(eOverlayFlag);
        if (flag < 0 || flag >= 64)
            return vr::VROverlayError_InvalidParameter;
        const uint64_t bit = uint64_t(1) << flag;
        settings.flags = bEnabled ? (settings.flags | bit) : (settings.flags & ~bit);
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::SetOverlayWidthInMeters(vr::VROverlayHandle_t ulOverlayHandle, float fWidthInMeters)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call =
        "SetOverlayWidthInMeters " + handleText(ulOverlayHandle) + " width=" + Trace::number(fWidthInMeters);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        if (!(fWidthInMeters > 0))
            return vr::VROverlayError_InvalidParameter;
        settings.widthInMeters = fWidthInMeters;
        return vr::VROverlayError_None;
    });
}

bool SimOverlay::IsOverlayVisible(vr::VROverlayHandle_t ulOverlayHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    bool visible = false;
    auto it = m_runtime.overlays.find(ulOverlayHandle);
    if (it != m_runtime.overlays.end())
        visible = seen(it->first, it->second.settings);
    m_runtime.trace.write("IsOverlayVisible " + handleText(ulOverlayHandle) + " -> " + std::to_string(visible));
    return visible;
}

bool SimOverlay::PollNextOverlayEvent(vr::VROverlayHandle_t ulOverlayHandle, vr::VREvent_t* pEvent,
                                      uint32_t uncbVREvent)
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    if (m_runtime.overlays.find(ulOverlayHandle) == m_runtime.overlays.end())
        return false;
    const bool got = m_runtime.pollQueue(m_runtime.overlayQueues[ulOverlayHandle], pEvent, uncbVREvent);
    // Empty polls are not traced: a pump asks fifty times a second.
    if (got)
        m_runtime.trace.write("PollNextOverlayEvent " + handleText(ulOverlayHandle) + " size="
                              + std::to_string(uncbVREvent) + " -> 1 type=" + std::to_string(pEvent->eventType));
    return got;
}

vr::EVROverlayError SimOverlay::SetOverlayInputMethod(vr::VROverlayHandle_t ulOverlayHandle,
                                                      vr::VROverlayInputMethod eInputMethod)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call =
        "SetOverlayInputMethod " + handleText(ulOverlayHandle) + " method=" + std::to_string(eInputMethod);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        settings.inputMethod = eInputMethod;
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::SetOverlayMouseScale(vr::VROverlayHandle_t ulOverlayHandle,
                                                     const vr::HmdVector2_t* pvecMouseScale)
{
    Runtime::Lock lock(m_runtime.mutex);
    std::string call = "SetOverlayMouseScale " + handleText(ulOverlayHandle);
    if (!pvecMouseScale)
        return done(call + " scale=null", vr::VROverlayError_InvalidParameter);
    call += " x=" + Trace::number(pvecMouseScale->v[0]) + " y=" + Trace::number(pvecMouseScale->v[1]);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        settings.mouseScaleX = pvecMouseScale->v[0];
        settings.mouseScaleY = pvecMouseScale->v[1];
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::SetOverlayTexture(vr::VROverlayHandle_t ulOverlayHandle, const vr::Texture_t* pTexture)
{
    Runtime::Lock lock(m_runtime.mutex);
    std::string call = "SetOverlayTexture " + handleText(ulOverlayHandle);
    if (!pTexture)
        return done(call + " texture=null", vr::VROverlayError_InvalidParameter);
    const uintptr_t name = reinterpret_cast<uintptr_t>(pTexture->handle);
    call += " texture=" + std::to_string(name) + " type=" + std::to_string(pTexture->eType)
            + " colorspace=" + std::to_string(pTexture->eColorSpace);
    const auto it = m_runtime.overlays.find(ulOverlayHandle);
    if (it == m_runtime.overlays.end())
        return done(call, vr::VROverlayError_InvalidHandle);
    if (it->second.settings.foreign)
        return done(call, vr::VROverlayError_PermissionDenied);
    // Only OpenGL texture names can be read here; a name is 32 bits.
    if (pTexture->eType != vr::TextureType_OpenGL || name == 0 || name > 0xffffffffu)
        return done(call, vr::VROverlayError_InvalidTexture);
    m_runtime.trace.write(call + " -> 0");
    m_runtime.frameSubmitted(ulOverlayHandle, static_cast<uint32_t>(name));
    return vr::VROverlayError_None;
}

vr::EVROverlayError SimOverlay::SetOverlayFromFile(vr::VROverlayHandle_t ulOverlayHandle, const char* pchFilePath)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call =
        "SetOverlayFromFile " + handleText(ulOverlayHandle) + " path=" + Trace::quoted(pchFilePath);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        if (!pchFilePath || !*pchFilePath)
            return vr::VROverlayError_InvalidParameter;
        const QString path = QString::fromUtf8(pchFilePath);
        if (!QFileInfo(path).isFile() || !QImageReader(path).canRead())
            return vr::VROverlayError_UnableToLoadFile;
        settings.fromFile = pchFilePath;
        return vr::VROverlayError_None;
    });
}

uint32_t SimOverlay::GetKeyboardText(char* pchText, uint32_t cchText)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string& text = m_runtime.keyboardText;
    uint32_t length = 0;
    if (pchText && cchText > 0) {
        length = static_cast<uint32_t>(std::min<size_t>(text.size(), cchText - 1));
        // Never end inside a UTF-8 sequence.
        while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
        std::memcpy(pchText, text.data(), length);
        pchText[length] = '\0';
    }
    m_runtime.trace.write("GetKeyboardText size=" + std::to_string(cchText) + " -> " + std::to_string(length)
                          + " text=" + Trace::quoted(text.c_str()));
    return length;
}

bool SimOverlay::seen(vr::VROverlayHandle_t handle, const OverlaySettings& settings) const
{
    if (settings.foreign)
        return false;
    if (settings.world)
        return settings.shown;
    return settings.thumbnail ? m_runtime.thumbnailVisible : m_runtime.dashboard.shows(handle);
}

vr::EVROverlayError SimOverlay::SetOverlayAlpha(vr::VROverlayHandle_t ulOverlayHandle, float fAlpha)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call = "SetOverlayAlpha " + handleText(ulOverlayHandle) + " alpha=" + Trace::number(fAlpha);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        if (!(fAlpha >= 0.0f && fAlpha <= 1.0f))
            return vr::VROverlayError_InvalidParameter;
        settings.alpha = fAlpha;
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::SetOverlaySortOrder(vr::VROverlayHandle_t ulOverlayHandle, uint32_t unSortOrder)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call =
        "SetOverlaySortOrder " + handleText(ulOverlayHandle) + " order=" + std::to_string(unSortOrder);
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        settings.sortOrder = unSortOrder;
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError
SimOverlay::SetOverlayTransformTrackedDeviceRelative(vr::VROverlayHandle_t ulOverlayHandle,
                                                     vr::TrackedDeviceIndex_t unTrackedDevice,
                                                     const vr::HmdMatrix34_t* pmatTrackedDeviceToOverlayTransform)
{
    Runtime::Lock lock(m_runtime.mutex);
    std::string call = "SetOverlayTransformTrackedDeviceRelative " + handleText(ulOverlayHandle)
                       + " device=" + std::to_string(unTrackedDevice);
    const vr::HmdMatrix34_t* matrix = pmatTrackedDeviceToOverlayTransform;
    if (!matrix)
        return done(call + " matrix=null", vr::VROverlayError_InvalidParameter);
    // Rows of the 3x4 matrix, "; " between them.
    call += " matrix=[";
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            call += Trace::number(matrix->m[row][column]) + (column < 3 ? " " : row < 2 ? "; " : "]");
    return update(call, ulOverlayHandle, [&](OverlaySettings& settings) {
        // The runtime knows 64 tracked devices at most.
        if (unTrackedDevice >= 64)
            return vr::VROverlayError_InvalidTrackedDevice;
        settings.trackedDevice = unTrackedDevice;
        settings.transform = *matrix;
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::setShown(vr::VROverlayHandle_t handle, bool shown)
{
    Runtime::Lock lock(m_runtime.mutex);
    const std::string call = (shown ? "ShowOverlay " : "HideOverlay ") + handleText(handle);
    return update(call, handle, [&](OverlaySettings& settings) {
        // The dashboard alone shows and hides its tabs.
        if (!settings.world)
            return vr::VROverlayError_PermissionDenied;
        if (settings.shown != shown) {
            settings.shown = shown;
            const uint32_t type = shown ? vr::VREvent_OverlayShown : vr::VREvent_OverlayHidden;
            m_runtime.queueOverlayEvent(handle, m_runtime.queuedNow(vrsim::plainEvent(type)));
        }
        return vr::VROverlayError_None;
    });
}

vr::EVROverlayError SimOverlay::ShowOverlay(vr::VROverlayHandle_t ulOverlayHandle)
{
    return setShown(ulOverlayHandle, true);
}

vr::EVROverlayError SimOverlay::HideOverlay(vr::VROverlayHandle_t ulOverlayHandle)
{
    return setShown(ulOverlayHandle, false);
}

bool SimOverlay::IsDashboardVisible()
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    const bool visible = m_runtime.dashboard.visible();
    m_runtime.trace.write("IsDashboardVisible -> " + std::to_string(visible));
    return visible;
}

bool SimOverlay::IsActiveDashboardOverlay(vr::VROverlayHandle_t ulOverlayHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    const bool active = m_runtime.dashboard.shows(ulOverlayHandle);
    m_runtime.trace.write("IsActiveDashboardOverlay " + handleText(ulOverlayHandle) + " -> " + std::to_string(active));
    return active;
}

void SimOverlay::ShowDashboard(const char* pchOverlayToShow)
{
    Runtime::Lock lock(m_runtime.mutex);
    const vr::VROverlayHandle_t tab = m_runtime.dashboard.open(pchOverlayToShow ? pchOverlayToShow : "");
    m_runtime.trace.write("ShowDashboard key=" + Trace::quoted(pchOverlayToShow)
                          + " -> tab=" + (tab != 0 ? std::to_string(tab) : std::string("none")));
}

} // namespace vrsim
