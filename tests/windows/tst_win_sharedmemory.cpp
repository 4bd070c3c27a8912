// The Win32 shared-memory core under Wine: sharing across processes, read-only views,
// failed openings and what they leave behind.
#include "checks.h"
#include "win32probe.h"

#include <deviceblocks.h>
#include <records.h>
#include <sharedmemory.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using Block16 = std::array<unsigned char, 16>;
// Larger than the page a 16-byte block is rounded up to, so mapping it over one really fails.
using Block8k = std::array<unsigned char, 8192>;

Block16 pattern16(unsigned char first)
{
    Block16 block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(first + i);
    return block;
}

const std::string zeros16(32, '0');

// Child side: opens the block through SharedMemory, expects one content, writes another.
int swapInChild(const char* name, const std::string& expected, const std::string& replacement)
{
    SharedMemory<Block16> block(name, true);
    Block16 seen{};
    block.read(seen);
    if (Checks::hexOf(seen) != expected)
        return 2;
    Block16 next{};
    for (std::size_t i = 0; i < next.size(); ++i)
        next[i] = static_cast<unsigned char>(std::stoi(replacement.substr(2 * i, 2), nullptr, 16));
    block.write(&next);
    return 0;
}

// Child side: a first opening in a fresh process, which must fail with the given code and
// still report the given cause.
int failInChild(const char* name, int expectedCode, int expectedError)
{
    int code = 0;
    try {
        SharedMemory<Block8k> block(name, true);
    } catch (int thrown) {
        code = thrown;
    }
    const int error = lastSystemError();
    if (code == expectedCode && error == expectedError)
        return 0;
    std::printf("child: thrown %d, error %d; expected %d, %d\n", code, error, expectedCode, expectedError);
    return 2;
}

} // namespace

CHECK_CASE(newBlockIsZeroedAndSharedWithAnotherProcess)
{
    const std::string name = Win32Probe::uniqueName("shared");
    SharedMemory<Block16> block(name.c_str(), true);
    Block16 seen = pattern16(0xAA);
    block.read(seen);
    CHECK_EQUAL(Checks::hexOf(seen), zeros16);

    const Block16 first = pattern16(1);
    block.write(&first);
    // The child opens the same name through SharedMemory, sees our bytes and replaces them.
    const std::string replacement = Checks::hexOf(pattern16(0x40));
    CHECK_EQUAL(Win32Probe::runChild({"swap", name, Checks::hexOf(first), replacement}), 0);
    block.read(seen);
    CHECK_EQUAL(Checks::hexOf(seen), replacement);

    // A second opening in this process maps the same bytes.
    SharedMemory<Block16> again(name.c_str(), false);
    Block16 viaAgain{};
    again.read(viaAgain);
    CHECK_EQUAL(Checks::hexOf(viaAgain), replacement);
}

CHECK_CASE(readOnlyOpeningCreatesTheBlockAndSeesThePeer)
{
    // The quit flag: this side only reads, the service writes.
    const std::string name = Win32Probe::uniqueName("quit");
    SharedMemory<DeviceBlocks::QuitFlag> flag(name.c_str(), false);
    CHECK(!flag.writable());
    DeviceBlocks::QuitFlag seen = 'x';
    flag.read(seen);
    CHECK_EQUAL(seen, 0);

    CHECK_EQUAL(Win32Probe::runChild({"write", name, "45"}), 0);
    flag.read(seen);
    CHECK(DeviceBlocks::isQuitRequest(seen));
}

CHECK_CASE(readOnlyViewDoesNotWrite)
{
    const std::string name = Win32Probe::uniqueName("readonly");
    SharedMemory<Block16> writer(name.c_str(), true);
    const Block16 content = pattern16(7);
    writer.write(&content);

    SharedMemory<Block16> reader(name.c_str(), false);
    const Block16 other = pattern16(0x80);
    reader.write(&other);
    writer.write(nullptr);
    CHECK_EQUAL(Win32Probe::rawHex(name, 16), Checks::hexOf(content));

    // The view itself is read-only, not just guarded by the flag.
    const SharedMemoryCore readOnlyCore(name.c_str(), 16, false);
    const SharedMemoryCore writableCore(name.c_str(), 16, true);
    MEMORY_BASIC_INFORMATION info{};
    CHECK(::VirtualQuery(readOnlyCore.view(), &info, sizeof(info)) == sizeof(info));
    CHECK_EQUAL(info.Protect, static_cast<DWORD>(PAGE_READONLY));
    CHECK(::VirtualQuery(writableCore.view(), &info, sizeof(info)) == sizeof(info));
    CHECK_EQUAL(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
}

CHECK_CASE(blockDisappearsWithItsLastHandle)
{
    const std::string name = Win32Probe::uniqueName("lifetime");
    const int viewsBefore = Win32Probe::mappedViewCount();
    {
        SharedMemory<Block16> block(name.c_str(), true);
        const Block16 content = pattern16(3);
        block.write(&content);
        CHECK(Win32Probe::blockExists(name));
        CHECK_EQUAL(Win32Probe::mappedViewCount(), viewsBefore + 1);
    }
    CHECK_EQUAL(Win32Probe::mappedViewCount(), viewsBefore);
    CHECK(!Win32Probe::blockExists(name));

    // So the next opening starts from zeros again.
    SharedMemory<Block16> fresh(name.c_str(), true);
    CHECK(fresh.writable());
    CHECK_EQUAL(Win32Probe::rawHex(name, 16), zeros16);
}

CHECK_CASE(refusedNamesThrowMinusTwo)
{
    // A name held by an object of another kind, as a foreign program might hold it.
    const std::string name = Win32Probe::uniqueName("mutex");
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, std::wstring(name.begin(), name.end()).c_str());
    CHECK(mutex != nullptr);
    CHECK_THROWS_CODE((SharedMemory<Block16>(name.c_str(), true)), -2);
    CHECK_EQUAL(lastSystemError(), ERROR_INVALID_HANDLE);
    ::CloseHandle(mutex);
    SharedMemory<Block16> afterwards(name.c_str(), true);

    // A namespace the system does not have.
    CHECK_THROWS_CODE((SharedMemory<Block16>("NoSuchNamespace\\block", false)), -2);
    CHECK_EQUAL(lastSystemError(), ERROR_PATH_NOT_FOUND);

    // A name that is not UTF-8 cannot be turned into the wide name the system wants.
    CHECK_THROWS_CODE((SharedMemory<Block16>("bad\xff\xfe", true)), -2);
    CHECK_EQUAL(lastSystemError(), ERROR_NO_UNICODE_TRANSLATION);

    // Without a name the system makes a private mapping no peer can find.
    CHECK_THROWS_CODE((SharedMemory<Block16>("", true)), -2);
    CHECK_EQUAL(lastSystemError(), ERROR_INVALID_NAME);
}

CHECK_CASE(firstFailureOfAProcessKeepsItsCause)
{
    // The first exception a thread throws used to wipe the last error on its way out.
    const std::string name = Win32Probe::uniqueName("first");
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, std::wstring(name.begin(), name.end()).c_str());
    CHECK(mutex != nullptr);
    CHECK_EQUAL(Win32Probe::runChild({"fail", name, "-2", std::to_string(ERROR_INVALID_HANDLE)}), 0);
    ::CloseHandle(mutex);

    HANDLE small = Win32Probe::createBlock(name, 16);
    CHECK(small != nullptr);
    CHECK_EQUAL(Win32Probe::runChild({"fail", name, "-3", std::to_string(ERROR_ACCESS_DENIED)}), 0);
    ::CloseHandle(small);
}

CHECK_CASE(blockSmallerThanTheRecordThrowsMinusThreeAndHoldsNothing)
{
    // A peer made the block far smaller than our record: the object opens, the view fails.
    const std::string name = Win32Probe::uniqueName("small");
    HANDLE peer = Win32Probe::createBlock(name, 16);
    CHECK(peer != nullptr);
    const int viewsBefore = Win32Probe::mappedViewCount();
    // Like a retrying user: ten attempts, each a fresh opening.
    for (int attempt = 0; attempt < 10; ++attempt) {
        CHECK_THROWS_CODE((SharedMemory<Block8k>(name.c_str(), attempt % 2 == 0)), -3);
        // The cause survives the clean-up that followed it.
        CHECK_EQUAL(lastSystemError(), ERROR_ACCESS_DENIED);
    }
    CHECK_EQUAL(Win32Probe::mappedViewCount(), viewsBefore);

    // Once the peer lets go, nothing of ours keeps the block alive.
    ::CloseHandle(peer);
    CHECK(!Win32Probe::blockExists(name));
    SharedMemory<Block8k> fresh(name.c_str(), true);
    Block8k seen{};
    seen.fill(0xFF);
    fresh.read(seen);
    CHECK(seen == Block8k{});
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        if (argc == 6 && std::strcmp(argv[2], "swap") == 0)
            return swapInChild(argv[3], argv[4], argv[5]);
        if (argc == 6 && std::strcmp(argv[2], "fail") == 0)
            return failInChild(argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
        return Win32Probe::runRawChildCommand(argc - 2, argv + 2);
    }
    return Checks::runCases(argc, argv);
}
