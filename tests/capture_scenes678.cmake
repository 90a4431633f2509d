# SPDX-License-Identifier: MIT
# Pixel checks of the credits, the hand-over and the cube runs, rendered by the capture tool.
add_test(NAME capture_scenes678
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/capture/scenes678.sh $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/capture-scratch/scenes678)
set_tests_properties(capture_scenes678 PROPERTIES SKIP_RETURN_CODE 77 LABELS capture TIMEOUT 600)
