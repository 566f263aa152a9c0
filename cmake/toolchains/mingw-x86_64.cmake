# SPDX-License-Identifier: Apache-2.0
# Cross build of orvanet.dll for 64-bit Windows with MinGW-w64 on Debian.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
