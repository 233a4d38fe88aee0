# Cross-compiling the Windows player on Linux with Debian's mingw-w64
# (package g++-mingw-w64-x86-64). The POSIX threads flavour of the compiler
# gives std::thread and std::mutex; everything is linked statically, so the
# executables need no compiler DLLs on the target machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELANE_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VELANE_MINGW_PREFIX}-gcc-posix ${VELANE_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELANE_MINGW_PREFIX}-g++-posix ${VELANE_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELANE_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VELANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Built programs run under Wine on this machine.
find_program(VELANE_WINE NAMES wine)
if(VELANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELANE_WINE})
endif()
