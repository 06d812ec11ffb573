# zoma_add_test(name SOURCES a_test.cc ... LIBS lib ...)
# One GoogleTest program per component; CTest learns its cases when the tests run, so
# building never executes test code (which matters in the sanitizer build).
include(GoogleTest)
function(zoma_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ZOMA_UI=none;ZOMA_PREFIX=${CMAKE_BINARY_DIR}/test-prefix")
endfunction()
