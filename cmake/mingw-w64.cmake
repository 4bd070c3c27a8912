# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour). The
# programs it builds run here under Wine: CTest starts them through the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NERQ_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${NERQ_MINGW_PREFIX}-gcc-posix ${NERQ_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${NERQ_MINGW_PREFIX}-g++-posix ${NERQ_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NERQ_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NERQ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: Wine then needs no MinGW DLLs on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(NERQ_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NERQ_WINE})
