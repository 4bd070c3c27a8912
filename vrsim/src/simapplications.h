// IVRApplications of the simulated runtime, backed by the registry file, and the scene process.
#pragma once

#include <openvr.h>

namespace vrsim {

class Runtime;

class SimApplications : public vr::IVRApplications
{
public:
    explicit SimApplications(Runtime& runtime)
        : m_runtime(runtime)
    {}

    vr::EVRApplicationError AddApplicationManifest(const char* pchApplicationManifestFullPath,
                                                   bool bTemporary = false) override;
    vr::EVRApplicationError RemoveApplicationManifest(const char* pchApplicationManifestFullPath) override;
    bool IsApplicationInstalled(const char* pchAppKey) override;
    const char* GetApplicationsErrorNameFromEnum(vr::EVRApplicationError error) override;
    uint32_t GetApplicationPropertyString(const char* pchAppKey, vr::EVRApplicationProperty eProperty,
                                          char* pchPropertyValueBuffer, uint32_t unPropertyValueBufferLen,
                                          vr::EVRApplicationError* peError = nullptr) override;
    vr::EVRApplicationError SetApplicationAutoLaunch(const char* pchAppKey, bool bAutoLaunch) override;
    uint32_t GetCurrentSceneProcessId() override;
    vr::EVRApplicationError GetApplicationKeyByProcessId(uint32_t unProcessId, char* pchAppKeyBuffer,
                                                         uint32_t unAppKeyBufferLen) override;

private:
    Runtime& m_runtime;
};

} // namespace vrsim
