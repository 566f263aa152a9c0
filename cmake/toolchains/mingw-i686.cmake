# SPDX-License-Identifier: Apache-2.0
# Cross build of orvanet.dll for 32-bit Windows with MinGW-w64 on Debian.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
