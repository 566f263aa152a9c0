# SPDX-License-Identifier: Apache-2.0
# Installation of the CMake package, the pkg-config file and the programs, and
# the Debian packages that CPack makes from them. Included last from the
# top-level CMakeLists.txt, once every target exists.
#
# Components, one Debian package each:
#   runtime      liborvanet1     the shared library (SONAME and version links)
#   development  liborvanet-dev  header, link name, CMake package, orvanet.pc
#   tools        orvanet-tools   orvacli, orvasim and orvapanel where built
#   vars_runtime, vars_development  liborvavars1, liborvavars-dev  the variables library
#   gate         orvanet-gate    orvagate, its systemd unit and example configuration
# and the licence (component license), which an install tree gets but the
# Debian packages do not: they carry it in their copyright files.
# On Windows the three go into one ZIP (windows-zip.cmake).

include(CMakePackageConfigHelpers)

set(ORVA_CMAKE_PACKAGE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/orvanet")
set(ORVA_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

install(EXPORT orvanetTargets
  NAMESPACE orvanet::
  DESTINATION "${ORVA_CMAKE_PACKAGE_DIR}"
  COMPONENT development)

configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/orvanetConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/packaging/orvanetConfig.cmake"
  INSTALL_DESTINATION "${ORVA_CMAKE_PACKAGE_DIR}")
# 1.x releases keep the seven functions and their meaning.
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/packaging/orvanetConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/packaging/orvanetConfig.cmake"
  "${PROJECT_BINARY_DIR}/packaging/orvanetConfigVersion.cmake"
  DESTINATION "${ORVA_CMAKE_PACKAGE_DIR}"
  COMPONENT development)

# orvanet.pc names its prefix relative to its own directory.
if(IS_ABSOLUTE "${ORVA_PKGCONFIG_DIR}")
  set(ORVA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  message(WARNING "An absolute CMAKE_INSTALL_LIBDIR makes orvanet.pc point at "
                  "${CMAKE_INSTALL_PREFIX} whatever the prefix at install time.")
else()
  file(RELATIVE_PATH ORVA_PC_UP "/root/${ORVA_PKGCONFIG_DIR}" "/root")
  string(REGEX REPLACE "/$" "" ORVA_PC_UP "${ORVA_PC_UP}")
  set(ORVA_PC_PREFIX "\${pcfiledir}/${ORVA_PC_UP}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/orvanet.pc.in" "${PROJECT_BINARY_DIR}/packaging/orvanet.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/packaging/orvanet.pc"
  DESTINATION "${ORVA_PKGCONFIG_DIR}"
  COMPONENT development)

install(FILES "${PROJECT_SOURCE_DIR}/LICENSE"
  DESTINATION "${CMAKE_INSTALL_DOCDIR}"
  COMPONENT license)

# Programs built elsewhere in the tree. orvacli installs itself; the others are
# installed here so that all programs land in one component. An RPATH relative
# to the program keeps a staged or relocated tree runnable without
# LD_LIBRARY_PATH; in /usr it is harmless.
foreach(program orvapanel)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
  endif()
endforeach()
foreach(program orvacli orvasim orvapanel orvagate)
  if(TARGET ${program} AND NOT APPLE AND NOT WIN32)
    set_property(TARGET ${program} PROPERTY INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

# Debian packages: cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (cmake --workflow --preset deb), so that the
# library and its package files lie in the multiarch directory,
# /usr/lib/<multiarch> (GNUInstallDirs picks it for that prefix alone).
set(CPACK_PACKAGE_NAME "orvanet")
set(CPACK_PACKAGE_VENDOR "orvanet")
set(CPACK_PACKAGE_CONTACT "orvanet maintainers <maintainers@orvanet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read and write S5 PLC data areas over ISO transport on TCP")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
# Programs and library without their debug information, as a distribution
# ships them.
set(CPACK_STRIP_FILES ON)
# What cpack checks and sets for Debian alone (the multiarch directory, one
# synopsis a package), read when cpack runs.
set(ORVA_DEBIAN_LIBDIR "")
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(ORVA_DEBIAN_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake.in" "${PROJECT_BINARY_DIR}/packaging/cpack-options.cmake" @ONLY)
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/packaging/cpack-options.cmake")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# One source package in the Debian sense: the changelog's name.
set(CPACK_DEBIAN_PACKAGE_SOURCE "orvanet")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The tools link liborvanet.so.1, which lies in another component's package:
# dpkg-shlibdeps finds it in the build tree, the Depends line comes from the
# component dependency.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/linklib")
# Each description: its synopsis line, then the text below it (at most 79
# columns a line; CPack indents it, and a line that begins with a space is
# shown as it is). Each ends in a newline, or CPack strips its last line.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "liborvanet1")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION [[
S5 PLC data areas over ISO transport on TCP - shared library
orvanet reads and writes the inputs, outputs, flags, data blocks, extended
data blocks, timers and counters of S5 PLCs through their network adapters:
ISO transport on TCP (RFC 1006, port 102) carrying fetch/write telegrams.
It is seven C functions; each call ends within the time-outs given, and each
failure is a documented result code with the socket error number.
.
This package holds the shared library liborvanet.so.1.
]])
# A shlibs file, so that packages built against liborvanet1 depend on it, and
# the trigger that runs ldconfig once for all packages being installed.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/debian/triggers")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME "liborvanet-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION [[
S5 PLC data areas over ISO transport on TCP - development files
orvanet reads and writes the data areas of S5 PLCs through their network
adapters (ISO transport on TCP, RFC 1006, with fetch/write telegrams).
.
This package holds what a program needs to be built against liborvanet1:
the header orvanet.h, the link name liborvanet.so, the CMake package
(find_package(orvanet) gives the target orvanet::orvanet) and the
pkg-config file orvanet.pc.
]])
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "orvanet-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION [[
S5 PLC data areas over ISO transport on TCP - programs
orvanet reads and writes the data areas of S5 PLCs through their network
adapters (ISO transport on TCP, RFC 1006, with fetch/write telegrams).
.
This package holds its programs:
 orvacli   reads and writes data areas from a shell, as a table, hex or JSON;
 orvasim   stands in for a PLC's network adapter on a test machine;
 orvapanel a demo window that reads a data area into a list (where built).
]])

# The variables library (vars/), which orvagate links: liborvavars1 and
# liborvavars-dev, made as liborvanet's are.
if(TARGET orvavars)
  list(APPEND CPACK_COMPONENTS_ALL vars_runtime vars_development)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/vars")
  set(CPACK_COMPONENT_VARS_RUNTIME_DEPENDS runtime)
  set(CPACK_COMPONENT_VARS_DEVELOPMENT_DEPENDS vars_runtime development)
  set(CPACK_DEBIAN_VARS_RUNTIME_PACKAGE_NAME "liborvavars1")
  set(CPACK_DEBIAN_VARS_RUNTIME_PACKAGE_SECTION "libs")
  set(CPACK_DEBIAN_VARS_RUNTIME_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/debian/triggers")
  set(CPACK_DEBIAN_VARS_RUNTIME_DESCRIPTION [[
S5 PLC variables in the PLC's notation - shared library
orvavars reads and writes typed variables of S5 PLCs, written in the PLC's
own notation (DB10.DD30:KG, MW20:KF, M20.3, T3), in lists that it reads with
the fewest calls of liborvanet1; each variable carries its own result.
.
This package holds the shared library liborvavars.so.1.
]])
  set(CPACK_DEBIAN_VARS_DEVELOPMENT_PACKAGE_NAME "liborvavars-dev")
  set(CPACK_DEBIAN_VARS_DEVELOPMENT_PACKAGE_SECTION "libdevel")
  set(CPACK_DEBIAN_VARS_DEVELOPMENT_DESCRIPTION [[
S5 PLC variables in the PLC's notation - development files
orvavars reads and writes typed variables of S5 PLCs in the PLC's own
notation, in lists, through liborvanet1.
.
This package holds what a program needs to be built against liborvavars1:
the header orvavars.h and the link name liborvavars.so.
]])
endif()

# The MQTT gateway (tools/orvagate), where it was built: the program, its
# systemd unit, the commented example configuration (a conffile) and
# docs/gate.md. Its postinst makes the orvagate user the service runs as.
if(TARGET orvagate)
  list(APPEND CPACK_COMPONENTS_ALL gate)
  set(CPACK_COMPONENT_GATE_DEPENDS runtime vars_runtime)
  set(CPACK_DEBIAN_GATE_PACKAGE_NAME "orvanet-gate")
  set(CPACK_DEBIAN_GATE_PACKAGE_SECTION "net")
  set(CPACK_DEBIAN_GATE_PACKAGE_DEPENDS "adduser")
  set(CPACK_DEBIAN_GATE_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/debian/gate/conffiles"
    "${CMAKE_CURRENT_LIST_DIR}/debian/gate/postinst"
    "${CMAKE_CURRENT_LIST_DIR}/debian/gate/prerm"
    "${CMAKE_CURRENT_LIST_DIR}/debian/gate/postrm")
  set(CPACK_DEBIAN_GATE_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
  set(CPACK_DEBIAN_GATE_DESCRIPTION [[
S5 PLC variables on MQTT - gateway service
orvagate polls the variables of up to 64 S5 PLCs, each at its own pace, and
publishes them to an MQTT broker as retained JSON messages with their
quality and time; writable variables take writes from set topics. A PLC or a
broker that goes away is retried while the rest goes on.
.
This package holds the program orvagate, its systemd unit (not enabled:
edit /etc/orvanet/orvagate.toml first, then systemctl enable --now orvagate)
and the commented example configuration. The service runs as the orvagate
user, which the package makes.
]])
endif()

# /usr/share/doc/<package> of each package: the licence in Debian's
# machine-readable form and the changelog, made from CHANGELOG.md. Installed
# only when a component is installed on its own, as cpack does: a plain
# `cmake --install` has the LICENSE file instead.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include("${CMAKE_CURRENT_LIST_DIR}/debian/changelog.cmake")
  set(ORVA_DEBIAN_CHANGELOG "${PROJECT_BINARY_DIR}/packaging/debian/changelog.gz")
  orva_debian_changelog("${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_VERSION}"
    "${CPACK_DEBIAN_PACKAGE_SOURCE}" "${CPACK_PACKAGE_CONTACT}" "${ORVA_DEBIAN_CHANGELOG}")
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md")
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER "${component}" component_upper)
    install(FILES "${CMAKE_CURRENT_LIST_DIR}/debian/copyright" "${ORVA_DEBIAN_CHANGELOG}"
      DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${component_upper}_PACKAGE_NAME}"
      COMPONENT ${component}
      EXCLUDE_FROM_ALL)
  endforeach()
endif()

# On Windows a ZIP per architecture instead.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-zip.cmake)
endif()

include(CPack)
