// Entry points of the simulated runtime (placeholder until the runtime lands).
#include <openvr.h>

namespace vr {

uint32_t VR_InitInternal(EVRInitError* peError, EVRApplicationType)
{
    if (peError)
        *peError = VRInitError_Init_InstallationNotFound;
    return 0;
}

void VR_ShutdownInternal() {}

bool VR_IsInterfaceVersionValid(const char*) { return false; }

void* VR_GetGenericInterface(const char*, EVRInitError* peError)
{
    if (peError)
        *peError = VRInitError_Init_NotInitialized;
    return nullptr;
}

uint32_t VR_GetInitToken() { return 0; }

const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError) { return "Not implemented"; }

const char* VR_GetVRInitErrorAsSymbol(EVRInitError) { return "VRInitError_Unknown"; }

} // namespace vr
