#pragma once

#include <QObject>

// Takes the calibration link's place on the page: counts requests. It reports a failure on
// purpose, because the page must show its confirmation whatever the request returned.
class RecordingCalibration : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE int Calibration()
    {
        ++calls;
        return 1;
    }

    int calls = 0;
};
