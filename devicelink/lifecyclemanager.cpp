#include "lifecyclemanager.h"
#include "records.h"

#include <easylogging++.h>

#include <QTimer>

#include <cstdlib>

namespace {
constexpr int checkIntervalMs = 100;
} // namespace

LifeCycleManager::LifeCycleManager() = default;

LifeCycleManager::~LifeCycleManager()
{
    delete m_timer;
}

int LifeCycleManager::start()
{
    auto* block = new SharedMemory<DeviceBlocks::QuitFlag>(DeviceBlocks::quitFlagName, false);
    delete m_block;
    m_block = block;

    delete m_timer;
    m_timer = new QTimer;
    m_timer->setInterval(checkIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &LifeCycleManager::OnLifeCycleCheck);
    m_timer->start();
    return 0;
}

void LifeCycleManager::OnLifeCycleCheck()
{
    if (m_block)
        m_block->read(m_lastByte);
    if (!DeviceBlocks::isQuitRequest(m_lastByte))
        return;
    LOG(INFO) << "Quit flag \"E\" set in shared memory block \"" << DeviceBlocks::quitFlagName << "\"; exiting";
    // std::exit skips the event loop and the objects main owns, so write the reason out now.
    el::Loggers::flushAll();
    std::exit(0);
}
