// Entry points of the simulated runtime behind the inline helpers of <openvr.h>.
#include <openvr.h>

#include "errornames.h"
#include "runtime.h"

namespace vr {

uint32_t VR_InitInternal(EVRInitError* peError, EVRApplicationType eApplicationType)
{
    return vrsim::Runtime::instance().connect(peError, eApplicationType);
}

void VR_ShutdownInternal()
{
    vrsim::Runtime::instance().disconnect();
}

bool VR_IsInterfaceVersionValid(const char* pchInterfaceVersion)
{
    return vrsim::Runtime::instance().isInterfaceVersionValid(pchInterfaceVersion);
}

void* VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError)
{
    return vrsim::Runtime::instance().genericInterface(pchInterfaceVersion, peError);
}

uint32_t VR_GetInitToken()
{
    return vrsim::Runtime::instance().initToken();
}

const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error)
{
    return vrsim::initErrorDescription(error);
}

const char* VR_GetVRInitErrorAsSymbol(EVRInitError error)
{
    return vrsim::initErrorSymbol(error);
}

} // namespace vr
