// nerq-peer: stands in for the walking device's service on the three shared-memory blocks,
// so the program's side of each exchange can be checked without the device.

#include "peerblock.h"
#include "recordline.h"

#include <deviceblocks.h>
#include <sharedmemorycore.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const char usageText[] =
    "Usage: nerq-peer <command> [options]\n"
    "Plays the walking-device service's side of the shared-memory blocks:\n"
    "  Velkano_Game (10 bytes, game mode), Velkano_Memory (100 bytes, calibration request),\n"
    "  NerqVRPlatform (1 byte, quit flag).\n"
    "\n"
    "Commands:\n"
    "  watch [--consume] [--timeout SEC] [--count N]\n"
    "      Poll the game-mode and calibration blocks every 5 ms and print one line per new\n"
    "      record: a non-zero record that differs from the last one seen in its block (what a\n"
    "      block holds at start counts as new). Each line is flushed at once:\n"
    "        2026-12-08T10:11:12.345 Velkano_Game text=\"START2\" hex=53 54 41 52 54 32 00 00 00 00\n"
    "      --consume   zero a block after reporting it, as a service taking the request would,\n"
    "                  so that identical requests in a row are each reported\n"
    "      --timeout   stop after SEC seconds (decimals allowed)\n"
    "      --count     stop after N records\n"
    "      Prints \"watching\" on stderr once the blocks are open.\n"
    "      Exit 0 when N records were seen, or on timeout when no --count was given;\n"
    "      exit 1 on timeout before N records.\n"
    "  read <game|calibration|quit>\n"
    "      Print the block's current record once, in the format above.\n"
    "  quit\n"
    "      Write \"E\" into NerqVRPlatform: the program ends at its next check.\n"
    "  set-quit <byte>\n"
    "      Write any byte into NerqVRPlatform: one non-digit character (e.g. e), or a number\n"
    "      0-255 in decimal or 0x-hex.\n"
    "  clear <game|calibration|quit|all> [--remove]\n"
    "      Zero the block(s); with --remove delete the shared-memory object(s) instead, so the\n"
    "      next opening creates a fresh, zeroed block (processes holding one open keep theirs).\n"
    "  --help\n"
    "      This text.\n"
    "\n"
    "Blocks are created when missing. Exit codes: 0 done, 1 a block could not be opened or\n"
    "removed (or watch timed out), 2 bad arguments.\n";

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

int usageError(const std::string& message)
{
    std::fprintf(stderr, "nerq-peer: %s\n\n%s", message.c_str(), usageText);
    return exitUsage;
}

std::unique_ptr<PeerBlock> openBlock(const std::string& which)
{
    if (which == "game")
        return std::make_unique<TypedPeerBlock<DeviceBlocks::GameModeRecord>>(DeviceBlocks::gameModeName);
    if (which == "calibration")
        return std::make_unique<TypedPeerBlock<DeviceBlocks::CalibrationRecord>>(DeviceBlocks::calibrationName);
    return std::make_unique<TypedPeerBlock<DeviceBlocks::QuitFlag>>(DeviceBlocks::quitFlagName);
}

const char* blockName(const std::string& which)
{
    if (which == "game")
        return DeviceBlocks::gameModeName;
    if (which == "calibration")
        return DeviceBlocks::calibrationName;
    return DeviceBlocks::quitFlagName;
}

bool isBlockWord(const std::string& word)
{
    return word == "game" || word == "calibration" || word == "quit";
}

void printRecord(const PeerBlock& block, const std::vector<unsigned char>& bytes)
{
    std::printf("%s\n", recordLine(block.name(), bytes.data(), bytes.size()).c_str());
    std::fflush(stdout);
}

bool parseNumber(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && out >= 0;
}

int watch(const std::vector<std::string>& args)
{
    bool consume = false;
    double timeout = -1;
    double count = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--consume") {
            consume = true;
        } else if (args[i] == "--timeout" && i + 1 < args.size()) {
            if (!parseNumber(args[++i], timeout))
                return usageError("bad --timeout value: " + args[i]);
        } else if (args[i] == "--count" && i + 1 < args.size()) {
            if (!parseNumber(args[++i], count) || count < 1)
                return usageError("bad --count value: " + args[i]);
        } else {
            return usageError("unexpected argument for watch: " + args[i]);
        }
    }

    std::vector<std::unique_ptr<PeerBlock>> blocks;
    blocks.push_back(openBlock("game"));
    blocks.push_back(openBlock("calibration"));
    std::vector<std::vector<unsigned char>> lastSeen;
    for (const auto& block : blocks)
        lastSeen.emplace_back(block->size(), 0);
    std::fprintf(stderr, "watching %s, %s\n", blocks[0]->name(), blocks[1]->name());
    std::fflush(stderr);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    long reported = 0;
    for (;;) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const std::vector<unsigned char> bytes = blocks[i]->read();
            const bool allZero = bytes == std::vector<unsigned char>(bytes.size(), 0);
            if (allZero || bytes == lastSeen[i])
                continue;
            printRecord(*blocks[i], bytes);
            lastSeen[i] = bytes;
            if (consume) {
                blocks[i]->clear();
                lastSeen[i].assign(bytes.size(), 0);
            }
            if (count > 0 && ++reported >= count)
                return 0;
        }
        const std::chrono::duration<double> elapsed = Clock::now() - started;
        if (timeout >= 0 && elapsed.count() >= timeout)
            return count > 0 ? exitFailure : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int readBlock(const std::vector<std::string>& args)
{
    if (args.size() != 1 || !isBlockWord(args[0]))
        return usageError("read takes one of game, calibration, quit");
    const std::unique_ptr<PeerBlock> block = openBlock(args[0]);
    printRecord(*block, block->read());
    return 0;
}

int setQuit(const std::string& value)
{
    unsigned char byte = 0;
    if (value.size() == 1 && (value[0] < '0' || value[0] > '9')) {
        byte = static_cast<unsigned char>(value[0]);
    } else {
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 0);
        if (value.empty() || !end || *end != '\0' || number < 0 || number > 255)
            return usageError("bad byte: " + value);
        byte = static_cast<unsigned char>(number);
    }
    openBlock("quit")->write({byte});
    return 0;
}

int clear(const std::vector<std::string>& args)
{
    bool remove = false;
    std::vector<std::string> which;
    for (const std::string& arg : args) {
        if (arg == "--remove")
            remove = true;
        else if (arg == "all")
            which.insert(which.end(), {"game", "calibration", "quit"});
        else if (isBlockWord(arg))
            which.push_back(arg);
        else
            return usageError("unexpected argument for clear: " + arg);
    }
    if (which.empty())
        return usageError("clear needs game, calibration, quit or all");
    int result = 0;
    for (const std::string& w : which) {
        if (!remove) {
            openBlock(w)->clear();
        } else if (!removeSharedMemory(blockName(w))) {
            std::fprintf(stderr, "nerq-peer: cannot remove %s (system error %d)\n", blockName(w), lastSystemError());
            result = exitFailure;
        }
    }
    return result;
}

int run(const std::string& command, const std::vector<std::string>& args)
{
    if (command == "watch")
        return watch(args);
    if (command == "read")
        return readBlock(args);
    if (command == "quit")
        return args.empty() ? setQuit("E") : usageError("quit takes no arguments");
    if (command == "set-quit")
        return args.size() == 1 ? setQuit(args[0]) : usageError("set-quit takes one byte");
    if (command == "clear")
        return clear(args);
    return usageError("unknown command: " + command);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return usageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText, stdout);
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        return run(command, args);
    } catch (int code) {
        std::fprintf(stderr, "nerq-peer: cannot open a shared-memory block (code %d, system error %d)\n", code,
                     lastSystemError());
        return exitFailure;
    }
}
