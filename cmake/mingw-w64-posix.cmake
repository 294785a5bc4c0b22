# Cross-building the Windows program on Debian with mingw-w64, the "posix"
# thread-model compilers (std::thread and friends work with them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VXSTAT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VXSTAT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VXSTAT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VXSTAT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VXSTAT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; the wrapper insists on a prefix made for the
# run (scripts/test-windows), never the one in the home folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/win32/wine-run)
