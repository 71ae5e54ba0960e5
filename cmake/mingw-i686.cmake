# Cross-build for 32-bit x86 Windows with MinGW-w64 (Debian's g++-mingw-w64-i686): the shipped
# uninstaller.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOLVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
