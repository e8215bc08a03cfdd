# The install tree (cmake --install build --prefix P) and the Debian package made from it
# (cmake --build build --target package). The tree is relocatable: programs find their
# libraries relative to themselves.
include(GNUInstallDirs)

# Private libraries live apart from the system's, in lib/cirrodex whatever the multiarch libdir.
set(CIRRODEX_INSTALL_LIBDIR lib/cirrodex)

set(CIRRODEX_PROGRAMS today-host gantrel weather-service cirrodex-reg cirrodex-draw
    cirrodex-install)
set(CIRRODEX_LIBRARIES cirrodex_platform cirrodex gantrel_interactive)
set_target_properties(${CIRRODEX_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/cirrodex")
set_target_properties(${CIRRODEX_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${CIRRODEX_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${CIRRODEX_LIBRARIES}
  LIBRARY DESTINATION ${CIRRODEX_INSTALL_LIBDIR} NAMELINK_SKIP
  RUNTIME DESTINATION ${CIRRODEX_INSTALL_LIBDIR})

# Icons and region files as the build gathered them; the whole folder, whatever it holds.
install(DIRECTORY ${CIRRODEX_SHARE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/cirrodex
  FILES_MATCHING PATTERN "*.bmp" PATTERN "*.csv")

install(FILES desktop/cirrodex-today.desktop desktop/cirrodex-setup.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES desktop/cirrodex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# What GNOME Software and KDE Discover show for the package.
install(FILES appstream/invalid.cirrodex.Cirrodex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, with the version filled in and compressed as Debian wants them.
set(CIRRODEX_VERSION ${PROJECT_VERSION})
set(CIRRODEX_MAN_OUTPUTS)
foreach(program IN LISTS CIRRODEX_PROGRAMS)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
  configure_file(man/${program}.1 ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9nf -k ${page}
    DEPENDS ${page}
    COMMENT "Manual page ${program}(1)")
  list(APPEND CIRRODEX_MAN_OUTPUTS ${page}.gz)
endforeach()
add_custom_target(cirrodex_manpages ALL DEPENDS ${CIRRODEX_MAN_OUTPUTS})
install(FILES ${CIRRODEX_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# systemd user units: the socket listens on 127.0.0.1:8611 and starts the service on the first
# connection. The service's program path is known only once the prefix is: it is written at
# install time. The socket is enabled for every user by its link in sockets.target.wants.
install(FILES systemd/cirrodex-weather.socket DESTINATION lib/systemd/user)
install(CODE "
  set(units \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
  set(CIRRODEX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  message(STATUS \"Installing: \${units}/cirrodex-weather.service\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/systemd/cirrodex-weather.service.in\"
                 \"\${units}/cirrodex-weather.service\" @ONLY)
  file(MAKE_DIRECTORY \"\${units}/sockets.target.wants\")
  file(CREATE_LINK ../cirrodex-weather.socket
       \"\${units}/sockets.target.wants/cirrodex-weather.socket\" SYMBOLIC)
")

# Debian's documentation files.
set(CIRRODEX_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${CIRRODEX_CHANGELOG}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog > ${CIRRODEX_CHANGELOG}
  DEPENDS debian/changelog)
add_custom_target(cirrodex_changelog ALL DEPENDS ${CIRRODEX_CHANGELOG})
install(FILES debian/copyright ${CIRRODEX_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/cirrodex)

# The Debian package: cirrodex_VERSION_amd64.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cirrodex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Cirrodex developers")
set(CPACK_PACKAGE_CONTACT "Cirrodex developers <cirrodex@cirrodex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "weather strip for the desktop's Today screen")
set(CPACK_PACKAGE_DESCRIPTION
    "Cirrodex shows one city's weather as a strip on a handheld-style Today
screen and keeps it fresh on a schedule. Cirrodex Setup chooses a home city
and five visiting cities, units, layout and the update schedule, and shows
details, the forecast, a comparison of all cities and radar and satellite
maps. A local weather service, started on demand by systemd socket
activation, serves live weather from the Open-Meteo forecast API.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-wine)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
