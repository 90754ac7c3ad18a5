# Cross-building for Windows with Debian's MinGW-w64 (the POSIX-threads
# variant, for std::thread), for the processor that the toolchain file which
# includes this one names in TAVREK_MINGW: cmake/mingw-w64-x86_64.cmake (64-bit)
# or cmake/mingw-w64-i686.cmake (32-bit).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 SP1, the oldest Windows Tavrek runs on

set(CMAKE_C_COMPILER ${TAVREK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVREK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVREK_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVREK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One program file: the C and C++ run-times and the threads library go inside,
# so that it needs only the DLLs every Windows has. Without the debugging
# symbols, which no Windows debugger reads: 2 MB instead of 12.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")
