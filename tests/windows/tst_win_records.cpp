// The exact bytes of the three records, built for Windows, and as a peer process reads them
// out of a block.
#include "checks.h"
#include "win32probe.h"

#include <deviceblocks.h>
#include <records.h>
#include <sharedmemory.h>

#include <climits>
#include <cstring>

using DeviceBlocks::GameModeRecord;

namespace {

std::string gameModeHex(int mode)
{
    GameModeRecord record{};
    std::memset(record.bytes, 'x', sizeof(record.bytes));
    if (!DeviceBlocks::formatGameMode(mode, record))
        return "refused";
    return Checks::hexOf(record);
}

} // namespace

CHECK_CASE(gameModeRecordIsStartModeAndZeros)
{
    CHECK_EQUAL(gameModeHex(7), "5354415254370000"
                                "0000"); // START7
    CHECK_EQUAL(gameModeHex(0), "5354415254300000"
                                "0000"); // START0
    CHECK_EQUAL(gameModeHex(-1), "53544152542d3100"
                                 "0000"); // START-1
    CHECK_EQUAL(gameModeHex(42), "5354415254343200"
                                 "0000"); // START42
    CHECK_EQUAL(gameModeHex(-999), "53544152542d3939"
                                   "3900"); // START-999, terminator last
    CHECK_EQUAL(gameModeHex(9999), "5354415254393939"
                                   "3900"); // START9999, terminator last
}

CHECK_CASE(gameModeOutsideTheRecordIsRefusedAndLeavesItAlone)
{
    for (int mode : {-1000, 10000, INT_MIN, INT_MAX})
        CHECK_EQUAL(gameModeHex(mode), "refused");
}

CHECK_CASE(shorterModeLeavesNoDigitOfAnEarlierOne)
{
    GameModeRecord record{};
    CHECK(DeviceBlocks::formatGameMode(1234, record));
    CHECK(DeviceBlocks::formatGameMode(3, record));
    CHECK_EQUAL(Checks::hexOf(record), "5354415254330000"
                                       "0000");
}

CHECK_CASE(calibrationRequestIsTheWordAndEightyNineZeros)
{
    const DeviceBlocks::CalibrationRecord request = DeviceBlocks::calibrationRequest();
    CHECK_EQUAL(Checks::hexOf(request), "43616c6962726174696f6e" + std::string(178, '0'));
}

CHECK_CASE(onlyCapitalEIsAQuitRequest)
{
    int requests = 0;
    for (int value = 0; value < 256; ++value) {
        if (DeviceBlocks::isQuitRequest(static_cast<DeviceBlocks::QuitFlag>(value))) {
            CHECK_EQUAL(value, 0x45);
            ++requests;
        }
    }
    CHECK_EQUAL(requests, 1);
}

CHECK_CASE(peerProcessReadsTheRecordsWhole)
{
    const std::string gameName = Win32Probe::uniqueName("game");
    SharedMemory<GameModeRecord> game(gameName.c_str(), true);
    GameModeRecord record{};
    CHECK(DeviceBlocks::formatGameMode(-12, record));
    game.write(&record);
    CHECK_EQUAL(Win32Probe::runChild({"expect", gameName,
                                      "53544152542d3132"
                                      "0000"}),
                0);

    const std::string calibrationName = Win32Probe::uniqueName("calibration");
    SharedMemory<DeviceBlocks::CalibrationRecord> calibration(calibrationName.c_str(), true);
    // Whatever the block held before, the request replaces all of it.
    CHECK(Win32Probe::writeRaw(calibrationName, std::string(200, 'f')));
    const DeviceBlocks::CalibrationRecord request = DeviceBlocks::calibrationRequest();
    calibration.write(&request);
    CHECK_EQUAL(Win32Probe::runChild({"expect", calibrationName, "43616c6962726174696f6e" + std::string(178, '0')}), 0);
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return Win32Probe::runRawChildCommand(argc - 2, argv + 2);
    return Checks::runCases(argc, argv);
}
