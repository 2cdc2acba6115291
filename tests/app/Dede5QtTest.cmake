# SPDX-License-Identifier: GPL-3.0-or-later
include_guard(GLOBAL)

# dede5_qt_test(name sources... LIBS libs... [WIDGETS]): a GoogleTest program whose main creates
# the Qt application object (a QApplication with WIDGETS) on the offscreen platform.
function(dede5_qt_test name)
  cmake_parse_arguments(ARG "WIDGETS" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS} ${PROJECT_SOURCE_DIR}/tests/app/QtTestMain.cpp)
  dede5_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} dede5_testsupport GTest::gtest)
  dede5_test_compile(${name})
  if(ARG_WIDGETS)
    target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test)
    target_precompile_headers(${name} PRIVATE <QtWidgets> <QTest>)
    target_compile_definitions(${name} PRIVATE DEDE5_TEST_WIDGETS)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      ENVIRONMENT_MODIFICATION "DEDE5_VARODO_HOME=set:${DEDE5_HOME_FOR_TESTS}"
      LABELS qt
      TIMEOUT 300)
endfunction()
