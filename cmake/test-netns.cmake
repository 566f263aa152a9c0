# SPDX-License-Identifier: Apache-2.0
# Every test of a native build runs in a network namespace of its own
# (scripts/netns-run.sh): any number of test runs share a machine, and none
# needs root for port 102. ORVA_TEST_NETNS is the command to put before a
# test's script; test programs get it as their launcher through
# CROSSCOMPILING_EMULATOR, which add_test and gtest_discover_tests honour in a
# native build too (orva_tests_in_netns sets it for the targets made after it
# in the calling folder). Cross builds keep their emulator, Wine:
# scripts/test-windows.sh runs that whole stage in one namespace, as the
# wineserver owns the sockets of every program it runs.
if(CMAKE_CROSSCOMPILING)
  set(ORVA_TEST_NETNS "")
else()
  set(ORVA_TEST_NETNS ${PROJECT_SOURCE_DIR}/scripts/netns-run.sh)
endif()

macro(orva_tests_in_netns)
  if(ORVA_TEST_NETNS)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVA_TEST_NETNS})
  endif()
endmacro()
