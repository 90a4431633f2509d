# SPDX-License-Identifier: MIT
# The .deb that CPack builds from this build tree: its contents, dependencies that cover what
# the binaries load, the launcher, and the installed capture tool run from an unpacked copy.
# Needs what "all" builds (programs, data, icons, manual pages); no root, the system untouched.
add_test(NAME package_deb
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/check.sh ${CMAKE_CPACK_COMMAND}
                 ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${RINTA_DATA_DIR} ${PROJECT_VERSION}
                 ${CMAKE_CURRENT_BINARY_DIR}/package-scratch)
set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 300 SKIP_RETURN_CODE 77)
