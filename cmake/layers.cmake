# The folders are the layers. korvani_layer(FOLDER [DEPENDS folder...]) records
# which folders FOLDER's sources may include ("folder/file.h"); at build time
# the target korvani_layers reads every source of every recorded folder and
# fails on an include of a folder that is not its own or one it depends on.

set_property(GLOBAL PROPERTY KORVANI_LAYERS "")

function(korvani_layer folder)
  cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
  string(JOIN " " deps ${L_DEPENDS})
  set_property(GLOBAL APPEND PROPERTY KORVANI_LAYERS "${folder}=${deps}")
endfunction()

# Called once all folders are added: writes the table and adds the check.
function(korvani_check_layers)
  get_property(layers GLOBAL PROPERTY KORVANI_LAYERS)
  set(table "${CMAKE_BINARY_DIR}/layers.txt")
  string(REPLACE ";" "\n" text "${layers}")
  file(WRITE "${table}" "${text}\n")
  add_custom_target(korvani_layers ALL
    COMMAND ${CMAKE_COMMAND} -DTABLE=${table} -DSOURCE=${CMAKE_SOURCE_DIR}
            -P ${CMAKE_SOURCE_DIR}/cmake/checklayers.cmake
    COMMENT "Checking that no folder includes a folder above it"
    VERBATIM)
endfunction()
