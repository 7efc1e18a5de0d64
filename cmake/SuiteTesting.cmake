# suite_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
#   One GoogleTest executable registered with CTest.
function(suite_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# suite_add_qtest(<name> SOURCES <files...> LIBS <targets...>)
#   One Qt Test executable, run on the offscreen platform. The programs' windows
#   offer automation on the session bus; GUI tests get a bus address that leads
#   nowhere, so they never reach the developer's bus (the automation tests run
#   their own).
function(suite_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test Qt6::Widgets Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT
                        "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/suite-tests-bus")
endfunction()
