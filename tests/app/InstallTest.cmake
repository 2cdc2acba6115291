# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the wizard's files into a fresh prefix and runs the installed program from "/", with no
# display: it must start and print its version. Arguments: BUILD_DIR, PROGRAM (the build tree's
# program), EXPECTED (the version line), WORK (a folder of this test's own, removed at the end).

function(check_version program)
  # Both print and end; neither opens a window.
  foreach(option --version --help)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
              ${program} ${option}
      WORKING_DIRECTORY /
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR (option STREQUAL "--version" AND NOT out STREQUAL "${EXPECTED}\n")
       OR (option STREQUAL "--help" AND NOT out MATCHES "^Usage: dede5-varodo "))
      message(FATAL_ERROR "${program} ${option}: exit ${rc}, printed '${out}' '${err}'")
    endif()
  endforeach()
endfunction()

check_version(${PROGRAM})

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
execute_process(
  COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component wizard
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${out}${err}")
endif()
foreach(file IN ITEMS bin/dede5-varodo share/applications/dede5-varodo.desktop
                      share/icons/hicolor/scalable/apps/dede5-varodo.svg
                      share/dede5-varodo/manual/index.html)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
check_version(${prefix}/bin/dede5-varodo)

find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
  execute_process(COMMAND ${VALIDATE} ${prefix}/share/applications/dede5-varodo.desktop
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "desktop entry: ${out}${err}")
  endif()
endif()
file(REMOVE_RECURSE ${WORK})
