#pragma once

#include <string>
#include <vector>

#include <windows.h>

// Raw Win32 views of named blocks, and a second process, independent of the code under test.
namespace Win32Probe {

// A block name no other test or run uses.
std::string uniqueName(const char* tag);

// Creates (or opens) a block the way a peer would; the caller closes the handle.
HANDLE createBlock(const std::string& name, DWORD size);

// True while any handle keeps the named block alive.
bool blockExists(const std::string& name);

// The first size bytes of an existing block as hex; empty when it cannot be opened.
std::string rawHex(const std::string& name, std::size_t size);
bool writeRaw(const std::string& name, const std::string& hexBytes);

// Mapped views in this process, to see that none is left behind.
int mappedViewCount();

// Starts this program again as "<exe> --child <arguments>" and waits; its exit code, or -1.
int runChild(const std::vector<std::string>& arguments);

// The child side of the raw commands: "expect <name> <hex>" (exit 0 when the block holds
// exactly those bytes) and "write <name> <hex>". Returns -1 for any other command.
int runRawChildCommand(int argc, char** argv);

} // namespace Win32Probe
