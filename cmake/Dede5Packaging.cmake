# SPDX-License-Identifier: GPL-3.0-or-later
# A Debian package of the installed tree: `cpack -G DEB` in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dede5-varodo)
set(CPACK_PACKAGE_VENDOR OmbrelTec)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wizard that publishes HTML5 video and audio into web pages")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ombrel DEDE5 Varodo publishes a web-ready video or audio file into an\nexisting page of a web site kept on disk: it checks the media, inserts the\nmarkup of a player (Video.js, MediaElement, Leanback or Projekktor style)\nand copies the player files, the media and a poster picture into the site.\ndede5-publish does the same from the command line.")
set(CPACK_PACKAGE_CONTACT "OmbrelTec <support@ombreltec.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ffmpeg is run and /etc/mime.types read, not linked, so the library scan cannot find them.
# libmediainfo is opened at run time, so the library scan does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, media-types, libmediainfo0v5")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(_doc ${CMAKE_INSTALL_DATADIR}/doc/dede5-varodo)
include(Dede5PlayerLibraries)
dede5_player_libraries(_libraries)
set(_lines)
while(_libraries)
  list(POP_FRONT _libraries _name _version _licence)
  list(APPEND _lines " ${_name} ${_version} (${_licence})")
endwhile()
list(JOIN _lines "\n" DEDE5_COPYRIGHT_LIBRARY_LINES)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${CMAKE_BINARY_DIR}/packaging/copyright
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${_doc})
set(_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(dede5_changelog ALL DEPENDS ${_changelog})
install(FILES ${_changelog} DESTINATION ${_doc})

# Manual pages are installed compressed, as Debian wants them.
foreach(page app/dede5-varodo.1)
  get_filename_component(_name ${page} NAME)
  set(_out ${CMAKE_BINARY_DIR}/packaging/${_name}.gz)
  add_custom_command(
    OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${page} > ${_out}
    DEPENDS ${PROJECT_SOURCE_DIR}/${page}
    VERBATIM)
  list(APPEND _manpages ${_out})
  install(FILES ${_out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(dede5_manpages ALL DEPENDS ${_manpages})
# A source package holds the tracked sources only, not build trees or npm's download folder.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/" "/node_modules/" "/\\.cache/")
include(CPack)
