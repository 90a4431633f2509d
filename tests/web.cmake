# SPDX-License-Identifier: MIT
# The web page: built by scripts/web.sh into the build tree (cached there: Debian's library
# sources, their objects, the wasm), then checked in headless Chromium against rinta-capture.
set(RINTA_WEB_DIR ${CMAKE_BINARY_DIR}/web)
add_test(NAME web_build
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/web.sh --no-serve --build ${CMAKE_BINARY_DIR} ${RINTA_WEB_DIR})
set_tests_properties(web_build PROPERTIES FIXTURES_SETUP web LABELS web TIMEOUT 1800)

set(WEB_TEST ${CMAKE_CURRENT_SOURCE_DIR}/web/web_test.py)
set(WEB_SCRATCH ${CMAKE_CURRENT_BINARY_DIR}/web-scratch)
add_test(NAME web_frames
         COMMAND python3 ${WEB_TEST} frames --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/frames
                 --capture $<TARGET_FILE:rinta-capture> --data ${RINTA_DATA_DIR})
add_test(NAME web_live COMMAND python3 ${WEB_TEST} live --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/live)
add_test(NAME web_faults COMMAND python3 ${WEB_TEST} faults --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/faults)
add_test(NAME web_looping
         COMMAND python3 ${WEB_TEST} looping --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/looping
                 --capture $<TARGET_FILE:rinta-capture> --data ${RINTA_DATA_DIR} --make-module $<TARGET_FILE:make_module>)
add_test(NAME web_audio COMMAND python3 ${WEB_TEST} audio --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/audio)
add_test(NAME web_prepare COMMAND python3 ${WEB_TEST} prepare --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/prepare)
# The page around the program: its messages, a phone's screen and touch, the compressed serving.
add_test(NAME web_messages COMMAND python3 ${WEB_TEST} messages --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/messages)
add_test(NAME web_phone COMMAND python3 ${WEB_TEST} phone --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/phone)
add_test(NAME web_serving
         COMMAND python3 ${WEB_TEST} serving --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/serving --data ${RINTA_DATA_DIR})
add_test(NAME web_context COMMAND python3 ${WEB_TEST} context --web ${RINTA_WEB_DIR} --work ${WEB_SCRATCH}/context)
set_tests_properties(web_frames web_live web_faults web_looping web_audio web_prepare web_messages web_phone web_serving
                     web_context PROPERTIES FIXTURES_REQUIRED web LABELS web TIMEOUT 900)

# The page's audio-thread player alone, under node (no browser, no build needed).
find_program(RINTA_NODE NAMES node nodejs)
if(RINTA_NODE)
  add_test(NAME web_worklet COMMAND ${RINTA_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/web/worklet_test.js)
  set_tests_properties(web_worklet PROPERTIES LABELS web TIMEOUT 60)
endif()
