# Install rules and the Debian package. Only the product is installed: the application folder
# PREFIX/lib/parvane (the program, its tools and the links to Debian's decoders, as in the build),
# PREFIX/bin/parvane, and what a desktop needs to show it in its menus and "Open With" lists.

set(PARVANE_APP_ID org.quillaby.Parvane)
set(_app_folder lib/parvane)

install(TARGETS parvane mac avdec neroAacEnc neroAacTag RUNTIME DESTINATION ${_app_folder})
# The same links as in the build's application folder; installing a link keeps it a link.
install(FILES ${PARVANE_APP_DIR}/flac ${PARVANE_APP_DIR}/metaflac ${PARVANE_APP_DIR}/lame
              ${PARVANE_APP_DIR}/sleep
        DESTINATION ${_app_folder})

# Relative, so that a tree installed under DESTDIR runs where it lies.
set(_bin_link ${CMAKE_BINARY_DIR}/install-links/parvane)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ../${_app_folder}/parvane ${_bin_link} SYMBOLIC)
install(FILES ${_bin_link} DESTINATION bin)

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
