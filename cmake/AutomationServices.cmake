# D-Bus activation of zelmor and vantor: a client's first call to
# example.orvane.Zelmor or example.orvane.Vantor starts the program hidden
# (--automation). The installed files name the programs under the prefix given
# at install time (cmake --install --prefix, CPack); the build tree gets its own
# copies, naming the built programs, for the tests' bus.
include(GNUInstallDirs)
set(SUITE_DBUS_SERVICE_DIR ${CMAKE_BINARY_DIR}/dbus-services)
set(service_template ${PROJECT_SOURCE_DIR}/resources/dbus/service.in)
foreach(pair "zelmor;example.orvane.Zelmor" "vantor;example.orvane.Vantor")
  list(GET pair 0 program)
  list(GET pair 1 AUTOMATION_SERVICE)
  if(NOT TARGET ${program})
    continue()
  endif()
  set(AUTOMATION_EXEC "$<TARGET_FILE:${program}>")
  configure_file(${service_template} ${CMAKE_BINARY_DIR}/dbus-build/${AUTOMATION_SERVICE}.service.in @ONLY)
  file(GENERATE OUTPUT ${SUITE_DBUS_SERVICE_DIR}/${AUTOMATION_SERVICE}.service
       INPUT ${CMAKE_BINARY_DIR}/dbus-build/${AUTOMATION_SERVICE}.service.in)
  install(CODE "
    set(AUTOMATION_SERVICE ${AUTOMATION_SERVICE})
    set(AUTOMATION_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    set(service_file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/dbus-1/services/${AUTOMATION_SERVICE}.service\")
    message(STATUS \"Installing: \${service_file}\")
    configure_file(${service_template} \"\${service_file}\" @ONLY)")
endforeach()
