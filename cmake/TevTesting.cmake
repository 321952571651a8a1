include(GoogleTest)

# What every test executable gets: the application folder the build lays out
# (for its libraries), the database as it ships, and in the sanitized build the
# sanitizers' options.
function(tev_test_setup name)
  target_compile_definitions(${name} PRIVATE TEV_APP_DIR_DEFAULT="${TEV_APP_DIR}" TEV_NEW_CLOCK_DB="${TEV_NEW_CLOCK_DB}")
  add_dependencies(${name} tev_newclockdb)
  if(TEV_SANITIZE)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/sanitizer_options.c)
  endif()
endfunction()

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
  tev_test_setup(${name})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 300)
endfunction()
