# D-Bus activation of zelmor and vantor: a client's first call to
# example.orvane.Zelmor or example.orvane.Vantor starts the program hidden
# (--automation). The installed files name the installed programs; the build
# tree gets its own copies, naming the built programs, for the tests' bus.
include(GNUInstallDirs)
set(SUITE_DBUS_SERVICE_DIR ${CMAKE_BINARY_DIR}/dbus-services)
foreach(pair "zelmor;example.orvane.Zelmor" "vantor;example.orvane.Vantor")
  list(GET pair 0 program)
  list(GET pair 1 AUTOMATION_SERVICE)
  if(NOT TARGET ${program})
    continue()
  endif()
  set(AUTOMATION_EXEC ${CMAKE_INSTALL_FULL_BINDIR}/${program})
  configure_file(${PROJECT_SOURCE_DIR}/resources/dbus/service.in
                 ${CMAKE_BINARY_DIR}/dbus-install/${AUTOMATION_SERVICE}.service @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/dbus-install/${AUTOMATION_SERVICE}.service
          DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
  file(GENERATE OUTPUT ${SUITE_DBUS_SERVICE_DIR}/${AUTOMATION_SERVICE}.service
       CONTENT "[D-BUS Service]\nName=${AUTOMATION_SERVICE}\nExec=$<TARGET_FILE:${program}> --automation\n")
endforeach()
