# SPDX-License-Identifier: Apache-2.0
# Sanitizer and fuzzing builds, chosen when the build is configured:
#   -DORVA_SANITIZE=address   AddressSanitizer + UndefinedBehaviorSanitizer
#   -DORVA_SANITIZE=thread    ThreadSanitizer
#   -DORVA_FUZZ=ON            the libFuzzer targets in fuzz/ (clang), with ASan+UBSan
# Every report stops the program, so a test that triggers one fails.
set(ORVA_SANITIZE "" CACHE STRING "Sanitizer build: address (ASan+UBSan), thread (TSan) or empty")
set_property(CACHE ORVA_SANITIZE PROPERTY STRINGS "" address thread)
option(ORVA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(ORVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  # Everything is instrumented for coverage; only the fuzz targets link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ORVA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ORVA_SANITIZE must be address, thread or empty, not '${ORVA_SANITIZE}'")
endif()
