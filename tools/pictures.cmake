# SPDX-License-Identifier: MIT
# The eighteen pictures: picturegen draws them from source into the data directory. They are
# rewritten only when the generator itself is rebuilt.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)

# The drawing kit and the eighteen pictures, kept apart from main so the tests can draw too.
add_library(rinta_picturekit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/picture_canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_textures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_titles.cpp
)
target_include_directories(rinta_picturekit PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(rinta_picturekit PUBLIC PkgConfig::FREETYPE PkgConfig::TURBOJPEG)

add_executable(picturegen ${CMAKE_CURRENT_LIST_DIR}/picturegen.cpp)
target_link_libraries(picturegen PRIVATE rinta_picturekit)

# The names come from engine/data_files.txt (RINTA_PICTURE_NAMES), as the engine reads them.
set(picture_files "")
foreach(name ${RINTA_PICTURE_NAMES})
  list(APPEND picture_files ${RINTA_DATA_DIR}/${name})
endforeach()

add_custom_command(
  OUTPUT ${picture_files}
  COMMAND picturegen ${RINTA_DATA_DIR}
  DEPENDS picturegen
  COMMENT "Drawing the eighteen pictures"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY RINTA_DATA_FILES ${picture_files})
