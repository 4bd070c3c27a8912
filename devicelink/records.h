#pragma once

#include "deviceblocks.h"

// The bytes of each record, kept apart from the managers so they can be checked on any
// platform without Qt or logging.
namespace DeviceBlocks {

// The widest modes whose text, terminator included, still fits the ten bytes.
constexpr int lowestGameMode = -999;
constexpr int highestGameMode = 9999;

// "START<mode>" in decimal, its terminator, then zeros to the end. Returns false and leaves
// out untouched when the mode is outside lowestGameMode..highestGameMode.
bool formatGameMode(int mode, GameModeRecord& out);

// "Calibration" followed by 89 zero bytes.
CalibrationRecord calibrationRequest();

// Only 'E' asks the program to end; 'e', 0 and every other byte mean carry on.
bool isQuitRequest(QuitFlag byte);

} // namespace DeviceBlocks
