# kdr_add_test(NAME SOURCES src... [LIBS lib...])
# One GoogleTest program per folder of tests/; each case is its own ctest entry. The Qt tests
# choose the offscreen platform themselves (a second variable here would be split off by the
# test discovery).
function(kdr_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "KDR_BIN_DIR=${PROJECT_BINARY_DIR}/bin"
                                  ENVIRONMENT_MODIFICATION "KDR_TEST_PASSWORD_COST=set:minimum")
endfunction()
