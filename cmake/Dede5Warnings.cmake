# SPDX-License-Identifier: GPL-3.0-or-later
# dede5_warnings(target): our own code builds with warnings on and treated as errors.
function(dede5_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Woverloaded-virtual
                                           -Wformat=2 -Wimplicit-fallthrough)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports std::string concatenation falsely under -O2 (its bug 105651).
    target_compile_options(${target} PRIVATE -Wno-restrict)
    if(DEDE5_SANITIZE)
      # The sanitizers' instrumentation makes GCC see uninitialised values that are not there.
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
  endif()
  if(DEDE5_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# dede5_test(name sources... LIBS libs... [COST n]): one GoogleTest executable, its cases known
# to CTest. A COST above the default starts its cases first in a parallel run, so that long ones
# do not run alone at the end.
function(dede5_test name)
  cmake_parse_arguments(ARG "" "COST" "LIBS" ${ARGN})
  if(NOT ARG_COST)
    set(ARG_COST 0)
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  dede5_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} dede5_testsupport GTest::gtest GTest::gtest_main)
  dede5_test_compile(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "DEDE5_VARODO_HOME=${DEDE5_HOME_FOR_TESTS}"
                                  TIMEOUT 300
                                  COST ${ARG_COST})
endfunction()

# Test programs spend their time in the programs they start, not in their own code, so they are
# compiled without optimisation, and GoogleTest with the standard headers is read once per program:
# together this halves the time their files take to build.
function(dede5_test_compile target)
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <string> <vector> <map> <filesystem>
                            <functional> <algorithm> <memory>)
  target_compile_options(${target} PRIVATE -O0)
endfunction()
