# SPDX-License-Identifier: Apache-2.0
# The Windows download: one ZIP per architecture (cpack -G ZIP in a Windows
# build), included from packaging.cmake before CPack. It holds
#   bin/      orvanet.dll, orvavars.dll, orvacli.exe, orvapanel.exe and its logo oem.bmp
#   include/  orvanet.h, orvavars.h
#   lib/      the import libraries (lib*.dll.a for MinGW; orvanet.lib and
#             orvavars.lib for MSVC), the .def files, the CMake package and orvanet.pc
#   README.txt, and the licence where the tree has one.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORVA_WINDOWS_ARCH win64)
else()
  set(ORVA_WINDOWS_ARCH win32)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/linklib/orvanet.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(TARGET orvavars)
  install(FILES ${PROJECT_SOURCE_DIR}/vars/orvavars.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT vars_development)
endif()
if(MINGW)
  # MSVC's linker looks for orvanet.lib; MinGW's import library holds the same
  # import records (on x86 the __stdcall names _ORVAOpen@24 and so on, bound to
  # the plain exports). The same for orvavars.lib.
  install(FILES $<TARGET_LINKER_FILE:orvanet> DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RENAME orvanet.lib COMPONENT development)
  if(TARGET orvavars)
    install(FILES $<TARGET_LINKER_FILE:orvavars> DESTINATION ${CMAKE_INSTALL_LIBDIR}
      RENAME orvavars.lib COMPONENT vars_development)
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-zip-README.txt.in ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION . COMPONENT runtime)
foreach(licence LICENSE LICENSE.txt LICENSE.md COPYING)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${licence})
    install(FILES ${PROJECT_SOURCE_DIR}/${licence} DESTINATION . COMPONENT runtime)
  endif()
endforeach()

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")  # the ZIP's folders at its top, not under /usr
set(CPACK_PACKAGE_FILE_NAME "orvanet-${PROJECT_VERSION}-${ORVA_WINDOWS_ARCH}")
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)  # one ZIP with all three components
set(CPACK_STRIP_FILES ON)                 # no debugging information in the download
