#pragma once

#include "deviceblocks.h"
#include "sharedmemory.h"

#include <QObject>

class QTimer;

// Ends the process when the device service writes "E" into the one-byte "NerqVRPlatform"
// block, checked ten times a second on the event loop.
class LifeCycleManager : public QObject
{
    Q_OBJECT

public:
    LifeCycleManager();
    ~LifeCycleManager() override;

    // Opens the block read-only and starts the check; returns 0. A failed opening leaves by
    // the thrown int of SharedMemory (-2 or -3) before any timer exists.
    int start();

public slots:
    void OnLifeCycleCheck();

private:
    QTimer* m_timer = nullptr;
    // Kept open until the process ends, so the service always finds the block.
    SharedMemory<DeviceBlocks::QuitFlag>* m_block = nullptr;
    DeviceBlocks::QuitFlag m_lastByte = 0;
};
