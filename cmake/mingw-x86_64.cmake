# Cross-build for x86-64 Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64): the same sources
# as a test vehicle that runs under 64-bit Wine, on hosts that cannot run 32-bit code. Never
# shipped.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
