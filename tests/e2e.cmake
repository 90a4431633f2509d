# SPDX-License-Identifier: MIT
# The real program under Xvfb, driven with xdotool as a viewer would: the question, keys,
# closing, the ending at order 32, and bad inputs. Each case runs in its own X server and
# its own working directory.
find_package(X11 REQUIRED)
add_executable(xclose e2e/xclose.c)
target_link_libraries(xclose PRIVATE X11::X11)
add_executable(xflood e2e/xflood.c)
target_link_libraries(xflood PRIVATE X11::X11)
find_library(XFIXES_LIBRARY Xfixes REQUIRED)
add_executable(xcursor e2e/xcursor.c)
target_link_libraries(xcursor PRIVATE X11::X11 ${XFIXES_LIBRARY})
# Preloaded into the program to watch the order of its start-up and to refuse fullscreen.
add_library(rinta_spy SHARED e2e/spy.c)
target_link_libraries(rinta_spy PRIVATE ${CMAKE_DL_LIBS})
add_executable(make_module e2e/make_module.cpp support/tiny_module.cpp)
target_include_directories(make_module PRIVATE ${PROJECT_SOURCE_DIR})
# The cases find these tools in one directory.
set_target_properties(xclose xflood xcursor make_module rinta_spy PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

set(E2E_CASES answer_no answer_yes close_question no_fullscreen startup_order signals keys key_burst pointer_flood resize
    close_window plays_to_the_end no_display no_audio_device no_data bad_pictures bad_module command_line)
foreach(name ${E2E_CASES})
  add_test(NAME e2e_${name}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run.sh ${name} $<TARGET_FILE:rinta> ${RINTA_DATA_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/e2e-scratch/${name})
  # One X server at a time: parallel servers made SDL fall back to its display-less driver now
  # and then on this 2-core machine.
  # The cases bound each of their own waits and say which failed; the harness's limit is only
  # for a case that hangs, and a busy machine (stress-ng --cpu 4 beside the suite) took keys
  # past 180 s with its screenshots.
  set_tests_properties(e2e_${name} PROPERTIES LABELS e2e TIMEOUT 600 RESOURCE_LOCK xserver)
endforeach()
