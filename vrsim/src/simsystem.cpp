#include "simsystem.h"

#include "runtime.h"

namespace vrsim {

bool SimSystem::PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent)
{
    Runtime::Lock lock(m_runtime.mutex);
    m_runtime.pumpScript();
    const bool got = m_runtime.pollQueue(m_runtime.systemQueue, pEvent, uncbVREvent);
    // Empty polls are not traced: a pump asks fifty times a second.
    if (got)
        m_runtime.trace.write("PollNextEvent size=" + std::to_string(uncbVREvent)
                              + " -> 1 type=" + std::to_string(pEvent->eventType));
    return got;
}

void SimSystem::AcknowledgeQuit_Exiting()
{
    Runtime::Lock lock(m_runtime.mutex);
    ++m_runtime.quitAcknowledged;
    m_runtime.trace.write("AcknowledgeQuit_Exiting");
}

} // namespace vrsim
