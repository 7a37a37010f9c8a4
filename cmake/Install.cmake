# cmake --install and cpack -G DEB. Installed programs keep their settings
# and caches in the user's XDG directories and read their help from
# share/quaylo (see proxy/server/HarbordPlaces.h).
install(TARGETS harbord vantlow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(language help_e help_d help_nl)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/proxy/help/${language} DESTINATION ${CMAKE_INSTALL_DATADIR}/quaylo)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/viewer/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quaylo/vantlow-help)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantlow.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantlow.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/harbord.1 ${PROJECT_SOURCE_DIR}/packaging/vantlow.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The unit names the binary by its installed path, known only when installing
# (cmake --install --prefix, or cpack's /usr).
install(CODE "
  set(CMAKE_INSTALL_FULL_BINDIR \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/harbord.service.in
                 \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/harbord.service @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/harbord.service\")")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quaylo)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "Quaylo developers <quaylo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read web sites offline: the harbord caching proxy and the vantlow site loader")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libmetis5, libssl3 (>= 3.0), libc6, libstdc++6, fonts-liberation2")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
