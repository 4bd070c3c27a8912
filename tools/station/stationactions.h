#pragma once

#include "outcome.h"
#include "stationsettings.h"

#include <QJsonObject>

#include <functional>
#include <memory>

class CalibrationManager;
class CatalogueFollower;
class CatalogueWork;
class CommandRunner;
class RunningGame;
struct StationCommand;

// What the desk asks of the station, each carried out as the program does it: a launch as a tile
// click, a calibration as the "Calibration" button, a scan as nerq-catalogue scan does (or, on a
// station that follows the venue catalogue, that catalogue applied again). A scan runs beside the
// loop, one at a time.
class StationActions
{
public:
    using Done = std::function<void(const Outcome& outcome)>;

    StationActions(const StationSettings& settings, RunningGame& game, CatalogueFollower& follower,
                   CatalogueWork& work);
    ~StationActions();
    StationActions(const StationActions&) = delete;
    StationActions& operator=(const StationActions&) = delete;

    // The device service's calibration block, when it is there at start.
    void open();
    // launch, calibrate and scan.
    void offer(CommandRunner& commands);
    // deviceService: whether the walking device's service is there (the quit-flag block it creates).
    void addTo(QJsonObject& status) const;

    struct Launch {
        Outcome outcome;
        bool started = false; // its launcher or Steam took it, whatever else went wrong
    };
    Launch launch(const StationCommand& command);
    Outcome calibrate();
    void scan(Done done);

private:
    void steamScan(Done done);

    StationSettings m_settings;
    RunningGame& m_game;
    CatalogueFollower& m_follower;
    CatalogueWork& m_work;
    std::unique_ptr<CalibrationManager> m_calibration;
    bool m_calibrationOpen = false;
    bool m_scanning = false;
};
