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

# kdr_compile_for_size(target...)
# The desktop's own code (the controls, the connection, the local copy and the lists, the Qt widget
# set, the host program and the module) is compiled for size: a library's pages stay resident once
# touched, so the size of this code is the desktop's memory, while its speed is bound by the user,
# by Qt, by the server and by SQLite. The data layer (rtl, data, sqlite: built once for the server
# too) and the server keep the build type's optimisation. Debug builds are left alone.
function(kdr_compile_for_size)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Os>)
  endforeach()
endfunction()
