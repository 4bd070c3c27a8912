#pragma once

#include <cstddef>

// The three blocks shared with the walking device's service, and the records they carry.
// Both sides agree only on these names, sizes and layouts.
namespace DeviceBlocks {

constexpr const char* gameModeName = "Velkano_Game";
constexpr const char* calibrationName = "Velkano_Memory";
constexpr const char* quitFlagName = "NerqVRPlatform";

// "START" + the mode in decimal, zero-terminated, zero-padded.
struct GameModeRecord {
    char bytes[10];
};

// "Calibration" padded with zeros.
struct CalibrationRecord {
    char bytes[100];
};

// One byte; 'E' asks the program to end.
using QuitFlag = char;
constexpr QuitFlag quitRequest = 'E';

static_assert(sizeof(GameModeRecord) == 10, "game-mode record is 10 bytes");
static_assert(sizeof(CalibrationRecord) == 100, "calibration record is 100 bytes");

} // namespace DeviceBlocks
