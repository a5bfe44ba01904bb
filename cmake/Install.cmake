# Install rules and the Debian package. Only the product is installed: the application folder
# PREFIX/lib/parvane (the program, its tools and the links to Debian's decoders, as in the build),
# PREFIX/bin/parvane and PREFIX/bin/parvane-convert with its manual page, and what a desktop needs
# to show it in its menus and "Open With" lists.

set(PARVANE_APP_ID org.quillaby.Parvane)
set(_app_folder lib/parvane)

install(TARGETS parvane parvane-convert mac avdec neroAacEnc neroAacTag
        RUNTIME DESTINATION ${_app_folder})
# The same links as in the build's application folder; installing a link keeps it a link.
install(FILES ${PARVANE_APP_DIR}/flac ${PARVANE_APP_DIR}/metaflac ${PARVANE_APP_DIR}/lame
              ${PARVANE_APP_DIR}/sleep
        DESTINATION ${_app_folder})

# Relative, so that a tree installed under DESTDIR runs where it lies.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
foreach(_program parvane parvane-convert)
  file(CREATE_LINK ../${_app_folder}/${_program} ${CMAKE_BINARY_DIR}/install-links/${_program}
       SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install-links/${_program} DESTINATION bin)
endforeach()

# Compressed, as Debian keeps its manual pages; -n keeps the package's bytes the same each build.
set(_man_page ${CMAKE_BINARY_DIR}/data/parvane-convert.1.gz)
add_custom_command(OUTPUT ${_man_page}
  COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/data/parvane-convert.1 > ${_man_page}
  DEPENDS ${PROJECT_SOURCE_DIR}/data/parvane-convert.1 VERBATIM)
add_custom_target(man-page ALL DEPENDS ${_man_page})
install(FILES ${_man_page} DESTINATION share/man/man1)

configure_file(${PROJECT_SOURCE_DIR}/data/${PARVANE_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/data/${PARVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/data/${PARVANE_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${PARVANE_APP_ID}.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/data/${PARVANE_APP_ID}.metainfo.xml DESTINATION share/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillaby)
set(CPACK_PACKAGE_CONTACT "Quillaby <parvane@quillaby.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert APE, FLAC, MP3, WAV and other audio files to AAC in MP4")
set(CPACK_PACKAGE_DESCRIPTION "Parvane converts music files to AAC audio in MP4 or M4A files, \
one file per source or one combined file with a chapter per source, and carries their tags over.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run by the program rather than linked, so shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "flac, lame, fonts-wine")
include(CPack)
