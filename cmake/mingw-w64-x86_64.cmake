# 64-bit Windows (x86-64, PE32+): scripts/build-windows.sh passes this file as
# CMAKE_TOOLCHAIN_FILE for build-windows/win64/.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVREK_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
