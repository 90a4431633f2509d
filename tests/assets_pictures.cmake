# SPDX-License-Identifier: MIT
# The eighteen generated pictures, checked with djpeg and ImageMagick: each decodes at its
# designed size and quality, the tiles repeat without seams, and generation is repeatable.
# The first two read the data directory that the rinta_data target fills.
set(PICTURE_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/assets/check_pictures.sh)
add_test(NAME pictures_format COMMAND sh ${PICTURE_CHECK} format ${RINTA_DATA_DIR})
add_test(NAME pictures_seamless COMMAND sh ${PICTURE_CHECK} seamless ${RINTA_DATA_DIR})
add_test(NAME pictures_deterministic COMMAND sh ${PICTURE_CHECK} deterministic $<TARGET_FILE:picturegen>)
set_tests_properties(pictures_format pictures_seamless pictures_deterministic
                     PROPERTIES LABELS assets TIMEOUT 120)

# The drawing kit and the layouts that depend on how each picture is seen.
add_executable(picture_tests ${CMAKE_CURRENT_SOURCE_DIR}/assets/pictures_test.cpp)
target_link_libraries(picture_tests PRIVATE rinta_picturekit GTest::gtest_main)
gtest_discover_tests(picture_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS assets)
