# SPDX-License-Identifier: Apache-2.0
# Shared by the MinGW-w64 toolchain files, which set ORVA_MINGW_PREFIX first.
# The -posix compilers: the win32 thread model of GCC 12 has no std::thread
# or std::mutex. CTest runs the test programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ORVA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ORVA_WINE wine)
if(ORVA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVA_WINE})
endif()
