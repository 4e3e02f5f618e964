# The product's folders are layers, each above the ones before it:
#   platform < trace < driver < host < view
# Each layer's code sees its own folder's headers and those of the layers it
# names, never a higher one's: its include folder in the build tree
# (layers/<folder>) holds a link to its own folder alone, and naming a lower
# layer adds that layer's include folder. Includes keep their "trace/..." form;
# one that runs back up finds no such file. tests/, bench/ and fuzz/ stand
# above every layer and see the whole tree.
set(LUMIVANE_LAYERS platform trace driver host view)

# lumivane_layer(<folder> [USES <lower folder>...]): the INTERFACE library
# lumivane_<folder>_headers, which the folder's own libraries link, and so does
# any library above that reads its headers without its code (the host reads
# the driver's exports from its headers, and loads the module itself).
function(lumivane_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" USES)
  list(FIND LUMIVANE_LAYERS ${folder} level)
  foreach(lower IN LISTS layer_USES)
    list(FIND LUMIVANE_LAYERS ${lower} lower_level)
    if(lower_level LESS 0 OR lower_level GREATER_EQUAL level)
      message(FATAL_ERROR "The ${folder} layer may not use ${lower}: only ${LUMIVANE_LAYERS} in that order")
    endif()
  endforeach()
  set(include ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${include})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${include}/${folder} SYMBOLIC)
  add_library(lumivane_${folder}_headers INTERFACE)
  target_include_directories(lumivane_${folder}_headers INTERFACE ${include})
  list(TRANSFORM layer_USES REPLACE "(.+)" "lumivane_\\1_headers")
  target_link_libraries(lumivane_${folder}_headers INTERFACE ${layer_USES})
endfunction()

lumivane_layer(platform)
lumivane_layer(trace USES platform)
lumivane_layer(driver USES trace platform)
lumivane_layer(host USES driver trace platform)
lumivane_layer(view USES platform)
