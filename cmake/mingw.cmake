# What both MinGW-w64 toolchain files share; each sets TOLVANE_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The posix thread model is needed by GoogleTest; the shipped exe
# uses no threads, so it is the same compiler for everything. Windows programs run under Wine
# through the emulator below, which picks Wine's loader from the build's architecture.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOLVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
