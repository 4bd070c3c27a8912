#pragma once

#include "deviceblocks.h"
#include "sharedmemory.h"

#include <QObject>

// Asks the device service to calibrate by writing "Calibration" into "Velkano_Memory".
// Fire-and-forget: nothing is read back.
class CalibrationManager : public QObject
{
    Q_OBJECT

public:
    CalibrationManager();
    ~CalibrationManager() override;

    // Opens the block, up to ten attempts. 0 when it is open afterwards, 1 when not.
    int initialize();

signals:
    void _calibration();

public slots:
    void _onCalibration();

public:
    // Called by the page; always 0, whatever the request did.
    Q_INVOKABLE int Calibration();

private:
    // Deliberately never released: on Windows a mapping dies with its last handle, which
    // would take a request the service has not read yet with it.
    SharedMemory<DeviceBlocks::CalibrationRecord>* m_block = nullptr;
    DeviceBlocks::CalibrationRecord m_request{};
    QMetaObject::Connection m_selfConnection;
};
