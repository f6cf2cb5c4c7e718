# The program is built as a stack of layers, one static library per folder of
# src/. A layer sees the headers of its own folder and of the layers it links
# to, and no others: each library's include path is a folder that holds a link
# to its own source folder only, so an include that points upward does not
# build.
set(SLICERY_LAYER_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/src)
set(SLICERY_LAYER_VIEW_DIR ${CMAKE_CURRENT_BINARY_DIR}/layers)

# slicery_layer(<folder> SOURCES <files...> [DEPENDS <folders below...>])
function(slicery_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "SOURCES;DEPENDS")
  set(view ${SLICERY_LAYER_VIEW_DIR}/${folder})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${SLICERY_LAYER_SOURCE_DIR}/${folder} ${view}/${folder}
       RESULT linked SYMBOLIC)
  add_library(slicery_${folder} STATIC)
  target_sources(slicery_${folder} PRIVATE ${LAYER_SOURCES})
  if(linked EQUAL 0)
    target_include_directories(slicery_${folder} PUBLIC ${view})
  else()
    # Where the host cannot make links, the layers build unguarded.
    target_include_directories(slicery_${folder} PUBLIC ${SLICERY_LAYER_SOURCE_DIR})
  endif()
  foreach(below IN LISTS LAYER_DEPENDS)
    target_link_libraries(slicery_${folder} PUBLIC slicery_${below})
  endforeach()
endfunction()
