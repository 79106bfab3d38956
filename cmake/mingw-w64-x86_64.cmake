# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (win32 thread model:
# no winpthread DLL and nothing newer than XP/2003 x64 pulled in by the runtime).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
