// Hybrid-graphics laptops pick the integrated GPU for a program unless it exports these two
// symbols; an OpenGL overlay rendered there is the usual cause of a blank overlay. The drivers
// look them up in the executable itself, so this file is linked into it, not into a library.

#include <windows.h>

extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) int AmdPowerXpressRequestHighPerformance = 1;
}
