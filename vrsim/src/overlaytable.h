// This process's overlays as the runtime keeps them: keys unique across processes (a locked file
// per key in the state directory), the limits of keys, names and counts, handles, and what goes
// with an overlay when it is destroyed.
#pragma once

#include <cstddef>
#include <string>

#include <openvr.h>
#include <vrsim/control.h>

#include "filelock.h"

namespace vrsim {

class Runtime;

class OverlayTable
{
public:
    explicit OverlayTable(Runtime& runtime)
        : m_runtime(runtime)
    {}

    // Checks a new overlay's key and name, that `handles` more fit, and takes the key for this
    // process: an EVROverlayError.
    int claim(const char* key, const char* name, size_t handles, FileLock* keyLock);
    OverlaySettings& add(vr::VROverlayHandle_t handle, const std::string& key, const char* name);
    // Another process's overlay with that key, as a handle that may be looked at, not changed;
    // 0 when no process holds the key.
    vr::VROverlayHandle_t addForeign(const std::string& key);
    // An EVROverlayError; a dashboard overlay takes its thumbnail along.
    int destroy(vr::VROverlayHandle_t handle);

    vr::VROverlayHandle_t nextHandle() { return m_nextHandle++; }
    // Numbering starts again at 1, as in a fresh process.
    void restartHandles() { m_nextHandle = 1; }

private:
    // The lock file's name keeps only safe characters.
    std::string keyLockPath(const std::string& key) const;

    Runtime& m_runtime;
    vr::VROverlayHandle_t m_nextHandle = 1;
};

} // namespace vrsim
