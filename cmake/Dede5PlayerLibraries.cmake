# SPDX-License-Identifier: GPL-3.0-or-later
# The player libraries the installation folder ships, each with the version and licence its npm
# package declares. The about box and the Debian copyright file list them from here, so neither
# can fall behind an update of package-lock.json.
include_guard(GLOBAL)

# dede5_player_libraries(<out>): "<name>;<version>;<licence>" triples, flattened into one list.
function(dede5_player_libraries out)
  set(_result)
  foreach(_package IN ITEMS video.js mediaelement jquery plyr)
    set(_file ${CMAKE_SOURCE_DIR}/node_modules/${_package}/package.json)
    if(NOT EXISTS ${_file})
      message(FATAL_ERROR "The npm package '${_package}' is missing: run scripts/setup.sh.")
    endif()
    # A reinstalled package reconfigures the build, so the lists follow it.
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_file})
    file(READ ${_file} _json)
    string(JSON _version ERROR_VARIABLE _error GET "${_json}" version)
    string(JSON _licence ERROR_VARIABLE _licence_error GET "${_json}" license)
    if(_error OR NOT _version)
      message(FATAL_ERROR "${_file} names no version.")
    endif()
    # Old packages give the licence as an object or not at all.
    if(_licence_error OR NOT _licence OR _licence MATCHES "^[{[]")
      set(_licence "see the licence file of the package")
    endif()
    list(APPEND _result "${_package}" "${_version}" "${_licence}")
  endforeach()
  set(${out} "${_result}" PARENT_SCOPE)
endfunction()
