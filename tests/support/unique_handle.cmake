# SPDX-License-Identifier: Apache-2.0
# The owned handles of the test programs and the fuzz targets (unique_handle.h,
# header-only), as target orva_test_handles. Included from the top level: the
# export tests and the fuzz targets are built without the rest of tests/.
add_library(orva_test_handles INTERFACE)
target_include_directories(orva_test_handles INTERFACE ${CMAKE_CURRENT_LIST_DIR})
