# Installation and the Debian package: the player, its tools and the demo
# content in one folder (the content root is the executable's folder), plus
# the desktop integration the system looks for in fixed places.
set(PLAYER_DIR ${CMAKE_INSTALL_PREFIX})
foreach(f velane-afficheur.service velane-afficheur.desktop
          velane-afficheur-autostart.desktop conffiles)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${f}.in ${CMAKE_BINARY_DIR}/packaging/${f} @ONLY)
endforeach()

install(TARGETS VELANE_Afficheur RUNTIME DESTINATION .)
foreach(tool afficheur-settings afficheur-check)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION .)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/ DESTINATION .
        PATTERN ".keep" EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur-autostart.desktop DESTINATION share)

# Found by the desktop, the icon theme and systemd only in these places.
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur.desktop
        DESTINATION /usr/share/applications)
foreach(size 16 32)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velane-afficheur-${size}.png
          DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps
          RENAME velane-afficheur.png)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur.service
        DESTINATION /usr/lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velane-afficheur)
set(CPACK_PACKAGE_VENDOR "VELANE")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VELANE Afficheur - full-screen display player for public screens")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VELANE <support@velane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The runtime libraries the binaries link against, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# An operator's playlist survives an upgrade.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
include(CPack)
