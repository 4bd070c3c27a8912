#include "overlaytable.h"

#include <cstring>

#include "runtime.h"

namespace vrsim {

std::string OverlayTable::keyLockPath(const std::string& key) const
{
    return m_runtime.config.stateDir + "/overlay-" + fileNameOf(key) + ".lock";
}

int OverlayTable::claim(const char* key, const char* name, size_t handles, FileLock* keyLock)
{
    if (!key || !*key || !name)
        return vr::VROverlayError_InvalidParameter;
    if (std::strlen(key) >= vr::k_unVROverlayMaxKeyLength)
        return vr::VROverlayError_KeyTooLong;
    if (std::strlen(name) >= vr::k_unVROverlayMaxNameLength)
        return vr::VROverlayError_NameTooLong;
    size_t owned = 0;
    for (const auto& entry : m_runtime.overlays) {
        if (entry.second.settings.key == key && !entry.second.settings.foreign)
            return vr::VROverlayError_KeyInUse;
        owned += entry.second.settings.foreign ? 0 : 1;
    }
    if (owned + handles > vr::k_unMaxOverlayCount)
        return vr::VROverlayError_OverlayLimitExceeded;
    // The kernel frees the key's lock with the process, however it ends.
    switch (keyLock->acquire(keyLockPath(key), false)) {
    case FileLock::Result::Acquired:
        return vr::VROverlayError_None;
    case FileLock::Result::Busy:
        return vr::VROverlayError_KeyInUse;
    case FileLock::Result::Failed:
        break;
    }
    return vr::VROverlayError_InvalidParameter;
}

OverlaySettings& OverlayTable::add(vr::VROverlayHandle_t handle, const std::string& key, const char* name)
{
    OverlaySettings& settings = m_runtime.overlays[handle].settings;
    settings.exists = true;
    settings.key = key;
    settings.name = name;
    return settings;
}

vr::VROverlayHandle_t OverlayTable::addForeign(const std::string& key)
{
    FileLock probe;
    if (key.empty() || key.size() >= vr::k_unVROverlayMaxKeyLength
        || probe.acquire(keyLockPath(key), false) != FileLock::Result::Busy)
        return 0;
    const vr::VROverlayHandle_t handle = nextHandle();
    add(handle, key, "").foreign = true;
    return handle;
}

int OverlayTable::destroy(vr::VROverlayHandle_t handle)
{
    const auto it = m_runtime.overlays.find(handle);
    if (it == m_runtime.overlays.end())
        return vr::VROverlayError_InvalidHandle;
    const OverlaySettings& settings = it->second.settings;
    if (settings.foreign)
        return vr::VROverlayError_PermissionDenied;
    // A thumbnail goes with its dashboard overlay, never alone.
    if (settings.thumbnail)
        return vr::VROverlayError_RequestFailed;
    if (!settings.world) {
        const std::string thumbKey = settings.key + ".thumbnail";
        for (const auto& entry : m_runtime.overlays)
            if (entry.second.settings.thumbnail && entry.second.settings.key == thumbKey) {
                m_runtime.removeOverlay(entry.first);
                break;
            }
    }
    m_runtime.removeOverlay(handle);
    return vr::VROverlayError_None;
}

} // namespace vrsim
