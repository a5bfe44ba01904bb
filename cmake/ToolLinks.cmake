# The real Debian decoders are reached through symlinks in the application folder, because the
# program looks for its tools there and nowhere else.
set(_links "")
foreach(pair flac:${PARVANE_FLAC} metaflac:${PARVANE_METAFLAC} lame:${PARVANE_LAME} sleep:${PARVANE_SLEEP})
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${PARVANE_APP_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PARVANE_APP_DIR}
    COMMAND ${CMAKE_COMMAND} -E create_symlink ${target} ${PARVANE_APP_DIR}/${name}
    VERBATIM)
  list(APPEND _links ${PARVANE_APP_DIR}/${name})
endforeach()
add_custom_target(tool-links ALL DEPENDS ${_links})
