# SPDX-License-Identifier: MIT
# The music module, checked against players we did not write (libopenmpt, libxmp,
# openmpt123 with sox), and the writer and instruments it is made with.
pkg_check_modules(XMP REQUIRED IMPORTED_TARGET libxmp)

add_custom_target(music_module DEPENDS ${RINTA_DATA_DIR}/sorvan.it)

add_executable(music_asset_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/music_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/music_writer_test.cpp)
target_link_libraries(music_asset_tests PRIVATE rinta_it_writer PkgConfig::OPENMPT PkgConfig::XMP GTest::gtest_main)
target_compile_definitions(music_asset_tests PRIVATE RINTA_MUSIC_MODULE="${RINTA_DATA_DIR}/sorvan.it")
add_dependencies(music_asset_tests music_module)
gtest_discover_tests(music_asset_tests DISCOVERY_MODE PRE_TEST)

add_test(NAME MusicModule.TwoRunsWriteIdenticalBytes
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/assets/music_cli.sh determinism $<TARGET_FILE:composer>
          ${CMAKE_CURRENT_BINARY_DIR}/music_determinism)
add_test(NAME MusicModule.RendersBelowFullScaleAtASensibleLevel
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/assets/music_cli.sh loudness ${RINTA_DATA_DIR}/sorvan.it
          ${CMAKE_CURRENT_BINARY_DIR}/music_loudness)
