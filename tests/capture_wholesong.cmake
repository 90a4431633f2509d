# SPDX-License-Identifier: MIT
# The real song from start to the order-32 ending through the capture tool's frame log, and
# one picture per order range. About a minute of work on two cores: labelled slow.
add_test(NAME capture_wholesong
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/capture/wholesong.sh $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/capture-scratch/wholesong)
set_tests_properties(capture_wholesong PROPERTIES SKIP_RETURN_CODE 77 LABELS "capture;slow" TIMEOUT 1200)
