# SPDX-License-Identifier: Apache-2.0
# The one registry of the loopback addresses that the tests, the benchmark and
# the fuzz targets use, each with its user, so that two suites running at once
# never meet on one address. Only 127.0.0.0/8 is ever a target (on Linux every
# address of it is loopback; as root a simulator can listen on port 102 at any).
#
# Each entry is NAME ADDRESS: CMake code reads it as ORVA_ADDRESS_<NAME>, C++
# as orvatest::address::NAME from the generated loopback_addresses.h (target
# orva_test_addresses). Configuring fails when two names share an address.
set(ORVA_LOOPBACK_ADDRESSES
  # tests/linklib: the library against scripted peers and the simulator
  telegramPeer 127.0.0.2          # telegram_test: what goes on the wire
  failurePeer 127.0.0.3           # failure_test: scripted set-up and reply failures
  blackHole 127.0.0.4             # failure_test: a connect that hangs
  failureNobody 127.0.0.5         # failure_test: nothing listens
  handlePeer 127.0.0.6            # handle_test
  handleNobody 127.0.0.7          # handle_test: opens without traffic
  slotLockPeer 127.0.0.8          # core_test
  unloadPeer 127.0.0.9            # unload_test
  linklibSim 127.0.0.11           # sim_fault_test: the library against orvasim
  boundedWaitPeer 127.0.0.12      # bounded_wait_test: signals, deadlines
  inStepPeer 127.0.0.13           # in_step_test: replies nobody asked for
  socketFaultPeer 127.0.0.14      # socket_fault_test
  socketFaultNobody 127.0.0.15    # socket_fault_test: a refused connect first
  hostileResetPeer 127.0.0.63     # hostile_peer_test: a reset mid-transfer
  hostileStalePeer 127.0.0.64     # hostile_peer_test: late and wrong replies
  hostileSilentPeer 127.0.0.65    # hostile_peer_test: takes the connection, never answers
  # tests/examples and tests/wire: the C example
  exampleSim 127.0.0.10
  exampleNobody 127.0.0.17
  wireCheckSim 127.0.0.75
  # tests/sim: the simulator on its own
  simServerSim 127.0.0.20
  simProgramSim 127.0.0.21
  simFaultSim 127.0.0.22
  simVariablesProgram 127.0.0.23  # sim_variables_test: orvasim --set, read back through liborvavars
  simVariablesServer 127.0.0.24   # sim_variables_test: the control channel's set and show
  # tests/demo: the Qt panel, offscreen
  panelReadsSim 127.0.0.30
  panelDialogSim 127.0.0.31
  panelNobody 127.0.0.39
  # tests/demo, Qt and under Wine: the pictures in docs/, at the walkthrough address of docs/orvapanel.md
  panelWalkthroughSim 127.0.0.1
  # tests/cli and tests/install
  cliSim 127.0.0.40
  cliSilentSim 127.0.0.41
  installSim 127.0.0.44
  # tests/exports_external (also under Wine): an orvasim program with its control channel
  externalSim 127.0.0.50
  externalNobody 127.0.0.51
  externalBlackHole 127.0.0.52
  controlChannelSim 127.0.0.53
  # fuzz/, bench/
  replyFuzzPeer 127.0.0.60
  openFuzzSim 127.0.0.61
  confirmFuzzPeer 127.0.0.62
  benchSim 127.0.0.70
  stressSim1 127.0.0.71
  stressSim2 127.0.0.72
  stressSim3 127.0.0.73
  stressSim4 127.0.0.74
  # tests/vars, bench/, tests/examples: the variables library
  varsListSim 127.0.0.76          # vars_list_tests: lists read and written against orvasim
  varsNobody 127.0.0.77           # vars_list_tests: nothing listens
  varsBenchSim 127.0.0.78         # orva_vars_bench
  varsExampleSim 127.0.0.79       # example_variables
  # tests/scripts: scripts/netns-run.sh, only ever inside its namespaces
  netnsRunProbe 127.0.0.99
  # tests/scripts: scripts/demo.sh's check of its address, in a namespace of its own
  demoScriptBusy 127.0.0.80       # something listens on port 102
  demoScriptFree 127.0.0.81       # nothing does
  # bench/python_vars_bench.py: the Python package's typed read beside its raw read
  pythonVarsBenchSim 127.0.1.20
  # tests/demo/win32 (under Wine): orvapanel.exe
  win32PanelSim 127.0.4.10
  win32PanelNobody 127.0.4.11
  # tests/gate: the MQTT gateway against orvasim programs (its broker listens
  # on 127.0.0.1, on a free port)
  gateSim1 127.0.6.1
  gateSim2 127.0.6.2
  gateNobody 127.0.6.3
)
# The binding suites keep their own ranges, inside which they choose:
#   127.0.1.1 to 127.0.1.19   the Python package (tests/bindings/python)
#   127.0.1.30 to 127.0.1.39  the .NET binding (tests/bindings/dotnet)
#   127.0.2.1 to 127.0.2.150  Node.js and Node-RED (bindings/node*/test)
#   127.0.7.1 to 127.0.7.64   the gateway's benchmark (bench/orva_gate_bench), one adapter each

set(header "// Generated from tests/loopback.cmake: every loopback address of the tests.\n#pragma once\n\nnamespace orvatest::address {\n")
set(seen "")
list(LENGTH ORVA_LOOPBACK_ADDRESSES count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET ORVA_LOOPBACK_ADDRESSES ${i} name)
  list(GET ORVA_LOOPBACK_ADDRESSES ${j} address)
  if(NOT address MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "tests/loopback.cmake: ${name} is ${address}, not a loopback address")
  endif()
  if(address IN_LIST seen)
    message(FATAL_ERROR "tests/loopback.cmake: ${address} is given twice")
  endif()
  list(APPEND seen ${address})
  set(ORVA_ADDRESS_${name} ${address})
  string(APPEND header "inline constexpr const char* ${name} = \"${address}\";\n")
endforeach()
string(APPEND header "\n}  // namespace orvatest::address\n")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/loopback_addresses.h CONTENT "${header}")
add_library(orva_test_addresses INTERFACE)
target_include_directories(orva_test_addresses INTERFACE ${PROJECT_BINARY_DIR}/generated)
