# Where an installed nodeconsole lives (with CMAKE_INSTALL_PREFIX=/usr, as the
# Debian packages have it): the program, its systemd unit, the unit's options
# file and the man page. The database folder is not installed: systemd makes it
# from the unit's StateDirectory=.
include(GNUInstallDirs)
set(NODECONSOLE_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE PATH "Folder of the installed systemd unit")
set(NODECONSOLE_DEFAULTS_DIR /etc/default CACHE PATH "Folder of the installed unit's options file")

install(TARGETS nodeconsole RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/nodeconsole.service DESTINATION ${NODECONSOLE_SYSTEMD_UNIT_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/nodeconsole.default DESTINATION ${NODECONSOLE_DEFAULTS_DIR}
        RENAME nodeconsole)

# The man page is written for scdoc and compressed as Debian installs man pages.
# Without scdoc the build goes on without the page.
find_program(SCDOC_EXECUTABLE scdoc)
if(SCDOC_EXECUTABLE)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/nodeconsole.8.scd.in ${CMAKE_BINARY_DIR}/man/nodeconsole.8.scd @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/man/nodeconsole.8 ${CMAKE_BINARY_DIR}/man/nodeconsole.8.gz
    COMMAND sh -c "'${SCDOC_EXECUTABLE}' < nodeconsole.8.scd > nodeconsole.8 && gzip -9nf -k nodeconsole.8"
    DEPENDS ${CMAKE_BINARY_DIR}/man/nodeconsole.8.scd
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
    COMMENT "Writing the man page"
    VERBATIM)
  add_custom_target(nodeconsole_man ALL DEPENDS ${CMAKE_BINARY_DIR}/man/nodeconsole.8.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/nodeconsole.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
else()
  message(STATUS "scdoc not found: no man page")
endif()
