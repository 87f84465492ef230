# Man pages and the Debian changelog are installed compressed, as Debian
# wants them. gzip -9n leaves the file name and time stamp out, so the
# result depends on the content alone. The file is compressed when the tree
# is configured (an edit configures it again), so that an install needs no
# build step: cross builds build only their programs. "@PROJECT_VERSION@"
# in the file becomes the project's version on the way.
#   solwatch_install_gzipped(FILE DESTINATION)   FILE relative to the current source folder
function(solwatch_install_gzipped file destination)
  get_filename_component(source ${file} ABSOLUTE)
  get_filename_component(name ${file} NAME)
  set(versioned ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(gzipped ${versioned}.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "@PROJECT_VERSION@" "${PROJECT_VERSION}" text "${text}")
  file(WRITE ${versioned} "${text}")
  execute_process(COMMAND gzip -9n --stdout ${versioned} OUTPUT_FILE ${gzipped} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${source}: ${status}")
  endif()
  install(FILES ${gzipped} DESTINATION ${destination})
endfunction()
