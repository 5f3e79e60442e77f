# Cross-compiling for 32-bit Windows with mingw-w64; the exes need wine32 to run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLON_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# The 32-bit exes run under wine32, which the test command installs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
