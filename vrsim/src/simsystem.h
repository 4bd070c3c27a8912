// IVRSystem of the simulated runtime: the system event queue and quit acknowledgement.
#pragma once

#include <openvr.h>

namespace vrsim {

class Runtime;

class SimSystem : public vr::IVRSystem
{
public:
    explicit SimSystem(Runtime& runtime)
        : m_runtime(runtime)
    {}

    bool PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) override;
    void AcknowledgeQuit_Exiting() override;

private:
    Runtime& m_runtime;
};

} // namespace vrsim
