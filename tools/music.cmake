# SPDX-License-Identifier: MIT
# The music module: the composer synthesizes its instruments and writes sorvan.it.
add_library(rinta_it_writer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/it_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synth.cpp)
target_include_directories(rinta_it_writer PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(composer
  ${CMAKE_CURRENT_LIST_DIR}/composer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/composer_song.cpp)
target_link_libraries(composer PRIVATE rinta_it_writer)

# Named by engine/data_files.txt (RINTA_SONG_NAME), as the engine reads it.
add_custom_command(
  OUTPUT ${RINTA_DATA_DIR}/${RINTA_SONG_NAME}
  COMMAND composer ${RINTA_DATA_DIR}/${RINTA_SONG_NAME}
  DEPENDS composer
  COMMENT "Composing ${RINTA_SONG_NAME}"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY RINTA_DATA_FILES ${RINTA_DATA_DIR}/${RINTA_SONG_NAME})
