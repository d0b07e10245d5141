# The core's folders are layers (scripts/check_layers lists them, bottom up). Each is its own
# static library that links the one below it, and compiles against an include root of its
# own under the build tree: links to its folder and to the folders below it, never the source
# root. An include that goes up then names a file the compiler cannot find, however it is
# spelled. The link line lists each layer before the layers below it, never after.
# The front ends, tests, benchmarks and fuzz targets see the whole tree through `veltrix_core`.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/check_layers --list
                OUTPUT_VARIABLE VELTRIX_LAYERS RESULT_VARIABLE listed
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT listed EQUAL 0 OR NOT VELTRIX_LAYERS)
  message(FATAL_ERROR "scripts/check_layers --list gave no layers")
endif()
string(REPLACE "\n" ";" VELTRIX_LAYERS "${VELTRIX_LAYERS}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/scripts/check_layers)

# Makes ROOT hold links to exactly FOLDERS of the source tree.
function(veltrix_layer_include_root root)
  file(MAKE_DIRECTORY ${root})
  file(GLOB present LIST_DIRECTORIES true ${root}/*)
  foreach(entry ${present})
    get_filename_component(name ${entry} NAME)
    if(NOT name IN_LIST ARGN)
      file(REMOVE ${entry})  # a link only: REMOVE never follows it into the sources
    endif()
  endforeach()
  foreach(folder ${ARGN})
    set(link ${root}/${folder})
    if(IS_SYMLINK ${link})
      file(READ_SYMLINK ${link} points_to)
      if(points_to STREQUAL ${PROJECT_SOURCE_DIR}/${folder})
        continue()
      endif()
      file(REMOVE ${link})
    endif()
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  endforeach()
endfunction()

set(visible)
set(below)
set(libraries)
foreach(folder ${VELTRIX_LAYERS})
  list(APPEND visible ${folder})
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  veltrix_layer_include_root(${root} ${visible})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  add_library(veltrix_${folder} STATIC ${sources})
  target_include_directories(veltrix_${folder} PRIVATE ${root})
  target_compile_options(veltrix_${folder} PRIVATE ${VELTRIX_WARNINGS})
  target_link_libraries(veltrix_${folder} PUBLIC ${below})
  set(below veltrix_${folder})
  list(PREPEND libraries veltrix_${folder})
endforeach()

# What the layers use from outside, each where it is used. The export's tests read HDF5 files
# themselves, so HDF5 reaches whoever links the files layer.
target_include_directories(veltrix_platform SYSTEM PRIVATE ${ASIO_INCLUDE_DIR})
target_compile_definitions(veltrix_platform PRIVATE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(veltrix_platform PUBLIC Threads::Threads PRIVATE PkgConfig::FFTW3 GSL::gsl)
target_link_libraries(veltrix_files PUBLIC PkgConfig::HDF5 PRIVATE PkgConfig::LIBDEFLATE)
# The web monitor's page is compiled in from web/page/.
file(GLOB_RECURSE VELTRIX_PAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/page/*)
set(page_source ${CMAKE_BINARY_DIR}/web/page_files.cpp)
add_custom_command(
  OUTPUT ${page_source}
  COMMAND ${CMAKE_COMMAND} -DPAGE_DIR=${PROJECT_SOURCE_DIR}/web/page -DOUTPUT=${page_source} -P
          ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
  DEPENDS ${VELTRIX_PAGE_FILES} ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
  COMMENT "Compiling the web monitor's page in")
target_sources(veltrix_web PRIVATE ${page_source})
target_link_libraries(veltrix_web PUBLIC PkgConfig::HTTPLIB nlohmann_json::nlohmann_json)

add_library(veltrix_core INTERFACE)
target_include_directories(veltrix_core INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(veltrix_core INTERFACE ${libraries})
