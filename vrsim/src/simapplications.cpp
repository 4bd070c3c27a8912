#include "simapplications.h"

#include <cstring>

#include "errornames.h"
#include "runtime.h"

namespace vrsim {

namespace {

std::string result(int error)
{
    return " -> " + std::to_string(error);
}

} // namespace

vr::EVRApplicationError SimApplications::AddApplicationManifest(const char* pchApplicationManifestFullPath,
                                                                bool bTemporary)
{
    Runtime::Lock lock(m_runtime.mutex);
    int error = vr::VRApplicationError_None;
    if (!pchApplicationManifestFullPath || !*pchApplicationManifestFullPath)
        error = vr::VRApplicationError_InvalidParameter;
    else if (m_runtime.config.addManifestError != 0)
        error = m_runtime.config.addManifestError;
    else
        error = m_runtime.registry->addManifest(pchApplicationManifestFullPath, bTemporary);
    m_runtime.trace.write("AddApplicationManifest path=" + Trace::quoted(pchApplicationManifestFullPath)
                          + " temporary=" + std::to_string(bTemporary) + result(error));
    return static_cast<vr::EVRApplicationError>(error);
}

vr::EVRApplicationError SimApplications::RemoveApplicationManifest(const char* pchApplicationManifestFullPath)
{
    Runtime::Lock lock(m_runtime.mutex);
    const int error = pchApplicationManifestFullPath && *pchApplicationManifestFullPath
                          ? m_runtime.registry->removeManifest(pchApplicationManifestFullPath)
                          : vr::VRApplicationError_InvalidParameter;
    m_runtime.trace.write("RemoveApplicationManifest path=" + Trace::quoted(pchApplicationManifestFullPath)
                          + result(error));
    return static_cast<vr::EVRApplicationError>(error);
}

bool SimApplications::IsApplicationInstalled(const char* pchAppKey)
{
    Runtime::Lock lock(m_runtime.mutex);
    const bool installed = pchAppKey && m_runtime.registry->isInstalled(pchAppKey);
    m_runtime.trace.write("IsApplicationInstalled key=" + Trace::quoted(pchAppKey) + " -> "
                          + std::to_string(installed));
    return installed;
}

const char* SimApplications::GetApplicationsErrorNameFromEnum(vr::EVRApplicationError error)
{
    return applicationErrorName(error);
}

uint32_t SimApplications::GetApplicationPropertyString(const char* pchAppKey, vr::EVRApplicationProperty eProperty,
                                                       char* pchPropertyValueBuffer, uint32_t unPropertyValueBufferLen,
                                                       vr::EVRApplicationError* peError)
{
    Runtime::Lock lock(m_runtime.mutex);
    int error = vr::VRApplicationError_None;
    uint32_t required = 0;
    std::string value;
    if (!pchAppKey)
        error = vr::VRApplicationError_InvalidParameter;
    else if (eProperty != vr::VRApplicationProperty_WorkingDirectory_String)
        error = vr::VRApplicationError_UnknownProperty;
    else if (m_runtime.config.workingDirError != 0)
        error = m_runtime.config.workingDirError;
    else
        error = m_runtime.registry->workingDirectory(pchAppKey, &value);

    if (error == vr::VRApplicationError_None) {
        required = static_cast<uint32_t>(value.size() + 1);
        if (!pchPropertyValueBuffer || unPropertyValueBufferLen < required)
            error = vr::VRApplicationError_BufferTooSmall;
        else
            std::memcpy(pchPropertyValueBuffer, value.c_str(), required);
    }
    if (error != vr::VRApplicationError_None && error != vr::VRApplicationError_BufferTooSmall)
        required = 0;
    if (error != vr::VRApplicationError_None && pchPropertyValueBuffer && unPropertyValueBufferLen > 0)
        pchPropertyValueBuffer[0] = '\0';
    if (peError)
        *peError = static_cast<vr::EVRApplicationError>(error);
    m_runtime.trace.write(
        "GetApplicationPropertyString key=" + Trace::quoted(pchAppKey) + " property=" + std::to_string(eProperty)
        + " size=" + std::to_string(unPropertyValueBufferLen) + " -> " + std::to_string(required)
        + " error=" + std::to_string(error)
        + (error == vr::VRApplicationError_None ? " value=" + Trace::quoted(value.c_str()) : std::string()));
    return required;
}

vr::EVRApplicationError SimApplications::SetApplicationAutoLaunch(const char* pchAppKey, bool bAutoLaunch)
{
    Runtime::Lock lock(m_runtime.mutex);
    int error = vr::VRApplicationError_None;
    if (!pchAppKey)
        error = vr::VRApplicationError_InvalidParameter;
    else if (m_runtime.config.autoLaunchError != 0)
        error = m_runtime.config.autoLaunchError;
    else
        error = m_runtime.registry->setAutoLaunch(pchAppKey, bAutoLaunch);
    m_runtime.trace.write("SetApplicationAutoLaunch key=" + Trace::quoted(pchAppKey)
                          + " enabled=" + std::to_string(bAutoLaunch) + result(error));
    return static_cast<vr::EVRApplicationError>(error);
}

uint32_t SimApplications::GetCurrentSceneProcessId()
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    m_runtime.trace.write("GetCurrentSceneProcessId -> " + std::to_string(m_runtime.sceneProcess));
    return m_runtime.sceneProcess;
}

vr::EVRApplicationError SimApplications::GetApplicationKeyByProcessId(uint32_t unProcessId, char* pchAppKeyBuffer,
                                                                      uint32_t unAppKeyBufferLen)
{
    Runtime::Lock lock(m_runtime.mutex);
    // Only the scene process is known here, and only when a key was given for it.
    const std::string& key = m_runtime.sceneAppKey;
    const bool known = unProcessId != 0 && unProcessId == m_runtime.sceneProcess && !key.empty();
    const bool fits = pchAppKeyBuffer && unAppKeyBufferLen >= key.size() + 1;
    int error = vr::VRApplicationError_None;
    if (!known)
        error = vr::VRApplicationError_UnknownApplication;
    else if (!fits)
        error = vr::VRApplicationError_BufferTooSmall;
    if (known && fits)
        std::memcpy(pchAppKeyBuffer, key.c_str(), key.size() + 1);
    else if (pchAppKeyBuffer && unAppKeyBufferLen > 0)
        pchAppKeyBuffer[0] = '\0';
    m_runtime.trace.write(
        "GetApplicationKeyByProcessId pid=" + std::to_string(unProcessId) + " size=" + std::to_string(unAppKeyBufferLen)
        + result(error)
        + (error == vr::VRApplicationError_None ? " key=" + Trace::quoted(key.c_str()) : std::string()));
    return static_cast<vr::EVRApplicationError>(error);
}

} // namespace vrsim
