# SPDX-License-Identifier: MIT
# A ten-second run of each fuzz target over its seeds. Where this tree is the clang fuzzing
# build (RINTA_FUZZ on) it runs the targets built here; otherwise it builds them in a tree of
# their own with clang, or skips where clang or its fuzzer runtime is missing. The long runs
# are fuzz/run.sh by hand.
find_program(RINTA_CLANGXX NAMES clang++ clang++-14)
foreach(target fuzz_textures fuzz_music)
  if(TARGET ${target})
    add_test(NAME ${target}_smoke
             COMMAND bash ${PROJECT_SOURCE_DIR}/fuzz/smoke.sh ${target} 10 ${PROJECT_BINARY_DIR})
  else()
    add_test(NAME ${target}_smoke
             COMMAND bash ${PROJECT_SOURCE_DIR}/fuzz/smoke.sh ${target} 10 ${CMAKE_CURRENT_BINARY_DIR}/fuzz-build
                     ${PROJECT_SOURCE_DIR} "${RINTA_CLANGXX}")
  endif()
  # Both may build in the same side tree: one at a time.
  set_tests_properties(${target}_smoke PROPERTIES LABELS fuzz TIMEOUT 600 SKIP_RETURN_CODE 77
                       RESOURCE_LOCK rinta_fuzz_build)
endforeach()
