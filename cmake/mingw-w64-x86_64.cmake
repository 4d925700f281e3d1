# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, so that
# std::thread and std::mutex work). Programs are linked statically: they need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PANELGRAB_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PANELGRAB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PANELGRAB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PANELGRAB_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PANELGRAB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest and GoogleTest's discovery run the programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
