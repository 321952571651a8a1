include(GoogleTest)

# tev_add_gtest(NAME SOURCES ... [LIBS ...] [QT])
# QT: link the shared test main that creates a QApplication on the offscreen
# platform; otherwise GoogleTest's own main.
function(tev_add_gtest name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(T_QT)
    target_link_libraries(${name} PRIVATE tev_test_main ${T_LIBS} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen;TEV_APP_DIR=${TEV_APP_DIR};TEV_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(TEV_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
                    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
                    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
