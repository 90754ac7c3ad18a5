# 32-bit Windows (i686, PE32): scripts/build-windows.sh passes this file as
# CMAKE_TOOLCHAIN_FILE for build-windows/win32/.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVREK_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
