# SPDX-License-Identifier: MIT
# The capture tool run end to end on short stretches of the demo: its command line, its
# clock and audio, determinism, and frames a viewer must see. Each script gets the tool, the
# data directory and a scratch directory; 77 means the content it needs has not been built.
add_executable(capture_tiny_song capture/tiny_song.cpp support/tiny_module.cpp)
target_include_directories(capture_tiny_song PRIVATE ${PROJECT_SOURCE_DIR})

set(CAPTURE_SCRATCH ${CMAKE_CURRENT_BINARY_DIR}/capture-scratch)
foreach(name cli clock_and_audio determinism frames hd)
  add_test(NAME capture_${name}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/capture/${name}.sh
                   $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR} ${CAPTURE_SCRATCH}/${name})
  set_tests_properties(capture_${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS capture TIMEOUT 600)
endforeach()
# The whole demo to its order-32 ending, on a song of about a second.
add_test(NAME capture_ending
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/capture/ending.sh $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR}
                 ${CAPTURE_SCRATCH}/ending $<TARGET_FILE:capture_tiny_song>)
set_tests_properties(capture_ending PROPERTIES SKIP_RETURN_CODE 77 LABELS capture TIMEOUT 600)
