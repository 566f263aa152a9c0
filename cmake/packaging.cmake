# Installation of the CMake package, the pkg-config file and the programs, and
# the Debian packages that CPack makes from them. Included last from the
# top-level CMakeLists.txt, once every target exists.
#
# Components, one Debian package each:
#   runtime      liborvanet1     the shared library (SONAME and version links)
#   development  liborvanet-dev  header, link name, CMake package, orvanet.pc
#   tools        orvanet-tools   orvacli, orvasim and orvapanel where built
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

# Programs built elsewhere in the tree. orvacli installs itself; the others are
# installed here so that all programs land in one component. An RPATH relative
# to the program keeps a staged or relocated tree runnable without
# LD_LIBRARY_PATH; in /usr it is harmless.
foreach(program orvapanel)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
  endif()
endforeach()
foreach(program orvacli orvasim orvapanel)
  if(TARGET ${program} AND NOT APPLE AND NOT WIN32)
    set_property(TARGET ${program} PROPERTY INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

# Debian packages: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME "orvanet")
set(CPACK_PACKAGE_VENDOR "orvanet")
set(CPACK_PACKAGE_CONTACT "orvanet maintainers <maintainers@orvanet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read and write S5 PLC data areas over ISO transport on TCP")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The tools link liborvanet.so.1, which lies in another component's package:
# dpkg-shlibdeps finds it in the build tree, the Depends line comes from the
# component dependency.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/linklib")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "liborvanet1")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs")
# A shlibs file, so that packages built against liborvanet1 depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# CPack puts the summary above each of these texts.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "The shared library: seven C functions to open a handle to a PLC's network adapter, read and write its outputs, inputs, flags, data blocks, timers and counters, and close the handle again.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME "liborvanet-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "Development files: the header orvanet.h, the link name, the CMake package (orvanet::orvanet) and the pkg-config file orvanet.pc.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "orvanet-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "Programs: orvacli reads and writes PLC data areas from a shell; orvasim stands in for a PLC's network adapter on a test machine; orvapanel, where built, is the demo window.")

# On Windows a ZIP per architecture instead.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-zip.cmake)
endif()

include(CPack)
