#include "calibrationmanager.h"
#include "records.h"

#include <easylogging++.h>

namespace {
constexpr int openAttempts = 10;
} // namespace

CalibrationManager::CalibrationManager()
    : m_request(DeviceBlocks::calibrationRequest())
{
    m_selfConnection = connect(this, &CalibrationManager::_calibration, this, &CalibrationManager::_onCalibration);
}

CalibrationManager::~CalibrationManager()
{
    disconnect(m_selfConnection);
}

int CalibrationManager::initialize()
{
    delete m_block;
    m_block = nullptr;
    for (int attempt = 0; attempt < openAttempts && !m_block; ++attempt) {
        try {
            m_block = new SharedMemory<DeviceBlocks::CalibrationRecord>(DeviceBlocks::calibrationName, true);
        } catch (int) {
            LOG(ERROR) << "Open Shared Memory Failed, error is " << lastSystemError();
        }
    }
    return m_block ? 0 : 1;
}

void CalibrationManager::_onCalibration()
{
    if (!m_block) {
        LOG(ERROR) << "Shared Memory has not been initialized";
        initialize();
        return;
    }
    m_block->write(&m_request);
    LOG(INFO) << "Calibration request written to " << DeviceBlocks::calibrationName;
}

int CalibrationManager::Calibration()
{
    emit _calibration();
    return 0;
}
