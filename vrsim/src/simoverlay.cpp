#include "simoverlay.h"

#include <cstring>

#include <QFileInfo>
#include <QImageReader>

#include "errornames.h"
#include "runtime.h"

namespace vrsim {

namespace {

// The runtime's limits, terminator included.
constexpr size_t kMaxKeyLength = 256;
constexpr size_t kMaxNameLength = 128;

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
    return done(call, change(it->second.settings));
}

std::string SimOverlay::keyLockPath(const std::string& key) const
{
    std::string name;
    for (const unsigned char c : key) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return m_runtime.config.stateDir + "/overlay-" + name + ".lock";
}

vr::EVROverlayError SimOverlay::CreateDashboardOverlay(const char* pchOverlayKey, const char* pchOverlayFriendlyName,
                                                       vr::VROverlayHandle_t* pMainHandle,
                                                       vr::VROverlayHandle_t* pThumbnailHandle)
{
    Runtime::Lock lock(m_runtime.mutex);
    std::string call =
        "CreateDashboardOverlay key=" + Trace::quoted(pchOverlayKey) + " name=" + Trace::quoted(pchOverlayFriendlyName);
    auto fail = [&](int error) { return done(call, error); };

    if (!pchOverlayKey || !*pchOverlayKey || !pchOverlayFriendlyName || !pMainHandle || !pThumbnailHandle)
        return fail(vr::VROverlayError_InvalidParameter);
    if (std::strlen(pchOverlayKey) >= kMaxKeyLength)
        return fail(vr::VROverlayError_KeyTooLong);
    if (std::strlen(pchOverlayFriendlyName) >= kMaxNameLength)
        return fail(vr::VROverlayError_NameTooLong);
    const std::string key = pchOverlayKey;
    for (const auto& entry : m_runtime.overlays)
        if (entry.second.settings.key == key)
            return fail(vr::VROverlayError_KeyInUse);

    // The key's lock file makes it unique across processes; the kernel frees it with the process.
    FileLock keyLock;
    switch (keyLock.acquire(keyLockPath(key), false)) {
    case FileLock::Result::Acquired:
        break;
    case FileLock::Result::Busy:
        return fail(vr::VROverlayError_KeyInUse);
    case FileLock::Result::Failed:
        return fail(vr::VROverlayError_InvalidParameter);
    }

    const vr::VROverlayHandle_t main = m_nextHandle++;
    const vr::VROverlayHandle_t thumb = m_nextHandle++;
    Runtime::Overlay& mainOverlay = m_runtime.overlays[main];
    mainOverlay.settings.exists = true;
    mainOverlay.settings.key = key;
    mainOverlay.settings.name = pchOverlayFriendlyName;
    mainOverlay.keyLock = std::move(keyLock);
    Runtime::Overlay& thumbOverlay = m_runtime.overlays[thumb];
    thumbOverlay.settings.exists = true;
    thumbOverlay.settings.thumbnail = true;
    thumbOverlay.settings.key = key + ".thumbnail";
    thumbOverlay.settings.name = pchOverlayFriendlyName;

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
        visible = it->second.settings.thumbnail ? m_runtime.thumbnailVisible : m_runtime.overlayVisible;
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
    if (m_runtime.overlays.find(ulOverlayHandle) == m_runtime.overlays.end())
        return done(call, vr::VROverlayError_InvalidHandle);
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

} // namespace vrsim
