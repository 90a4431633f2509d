# SPDX-License-Identifier: MIT
# The web page: built by scripts/web.sh into the build tree (cached there: Debian's library
# sources, their objects, the wasm), then checked against rinta-capture in both engines a
# viewer is likely to have: headless Chromium, and Firefox ESR under its own Xvfb. One build of
# the page, and one set of rinta-capture's frames, serve both; each check is a test per engine
# (web_frames_chromium, web_frames_firefox, ...), so a fault in either engine fails the suite.
set(RINTA_WEB_DIR ${CMAKE_BINARY_DIR}/web)
add_test(NAME web_build
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/web.sh --no-serve --build ${CMAKE_BINARY_DIR} ${RINTA_WEB_DIR})
set_tests_properties(web_build PROPERTIES FIXTURES_SETUP web LABELS web TIMEOUT 1800)

set(WEB_TEST ${CMAKE_CURRENT_SOURCE_DIR}/web/web_test.py)
set(WEB_SCRATCH ${CMAKE_CURRENT_BINARY_DIR}/web-scratch)
set(RINTA_WEB_ENGINES chromium firefox)

# rinta_web_test(CHECK [ARGS...]): web_CHECK_ENGINE for every engine, each in its own scratch.
function(rinta_web_test check)
  foreach(engine IN LISTS RINTA_WEB_ENGINES)
    set(name web_${check}_${engine})
    add_test(NAME ${name}
             COMMAND python3 ${WEB_TEST} ${check} --browser ${engine} --web ${RINTA_WEB_DIR}
                     --work ${WEB_SCRATCH}/${check}-${engine} ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED web LABELS "web;web-${engine}" TIMEOUT 900)
  endforeach()
endfunction()

rinta_web_test(frames --capture $<TARGET_FILE:rinta-capture> --data ${RINTA_DATA_DIR}
               --refs ${WEB_SCRATCH}/frames-native)
rinta_web_test(driver)
rinta_web_test(live --make-module $<TARGET_FILE:make_module>)
rinta_web_test(faults)
rinta_web_test(looping --capture $<TARGET_FILE:rinta-capture> --data ${RINTA_DATA_DIR}
               --make-module $<TARGET_FILE:make_module>)
rinta_web_test(audio)
rinta_web_test(prepare)
# The page around the program: its messages, a phone's screen and touch, the compressed serving.
rinta_web_test(messages)
rinta_web_test(phone --make-module $<TARGET_FILE:make_module>)
rinta_web_test(serving --data ${RINTA_DATA_DIR})
rinta_web_test(context)

# The page's audio-thread player alone, under node (no browser, no build needed).
find_program(RINTA_NODE NAMES node nodejs)
if(RINTA_NODE)
  add_test(NAME web_worklet COMMAND ${RINTA_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/web/worklet_test.js)
  set_tests_properties(web_worklet PROPERTIES LABELS web TIMEOUT 60)
endif()
