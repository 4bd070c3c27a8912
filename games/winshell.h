#pragma once

#include <cstdint>
#include <string>

// The Windows shell's "open" with UTF-8 text. The file and the parameters reach the shell as
// UTF-16 through the wide call, so a path with characters outside the system's ANSI code page
// (a game folder with a Chinese name on a western system, say) arrives intact.
namespace WinShell {

// The shell's result: above 32 when it accepted the request; 0 when a text is not UTF-8.
// Empty parameters are passed as none.
std::intptr_t openUtf8(const std::string& file, const std::string& parameters = std::string());

// The same for a file alone, returning the id of the process the shell started for it, 0 when it
// started none (a document handed to a program that was already running), or -1 when it failed.
long long openUtf8Process(const std::string& file);

} // namespace WinShell
