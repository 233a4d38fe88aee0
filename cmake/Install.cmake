# Installation and the Debian package. Programs go to /usr/lib/velane-afficheur
# with links in /usr/bin, the demo content (the seed of a new content root)
# to /usr/share/velane-afficheur/demo, and the content root the player runs on
# is /var/lib/velane-afficheur, created and seeded once by the package's
# postinst (packaging/postinst), never shipped, so an upgrade cannot touch it.
set(VELANE_LIB_DIR lib/velane-afficheur)
set(VELANE_SHARE_DIR share/velane-afficheur)
set(VELANE_DOC_DIR share/doc/velane-afficheur)
set(PLAYER_PATH ${CMAKE_INSTALL_PREFIX}/${VELANE_LIB_DIR}/VELANE_Afficheur)
set(PLAYER_LINK ${CMAKE_INSTALL_PREFIX}/bin/VELANE_Afficheur)
set(CONTENT_ROOT /var/lib/velane-afficheur)
set(DEMO_DIR ${CMAKE_INSTALL_PREFIX}/${VELANE_SHARE_DIR}/demo)
set(CONTENT_GROUP velane)
set(VELANE_PROGRAMS VELANE_Afficheur afficheur-settings afficheur-check)

# The distribution's hardening flags (dpkg-buildflags) for everything that
# ships. Optimisation and debug information stay the build type's.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT VELANE_SANITIZE)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
    set(HARDENING_${kind} ${flags})
  endforeach()
  foreach(t velane_core velane_registry velane_gtk velane_webview ${VELANE_PROGRAMS})
    if(NOT TARGET ${t})
      continue()
    endif()
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      continue()
    endif()
    # Fortification needs an optimised build.
    target_compile_options(${t} PRIVATE
      "$<$<NOT:$<CONFIG:Debug>>:${HARDENING_CPPFLAGS}>" ${HARDENING_CXXFLAGS})
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
      target_link_options(${t} PRIVATE ${HARDENING_LDFLAGS})
    endif()
  endforeach()
endif()

foreach(f velane-afficheur.service velane-afficheur.desktop
          velane-afficheur-autostart.desktop postinst postrm)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${f}.in ${CMAKE_BINARY_DIR}/packaging/${f} @ONLY)
endforeach()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/bin)
foreach(program ${VELANE_PROGRAMS})
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${VELANE_LIB_DIR})
  # The programs find the player's settings beside themselves: in /usr/bin
  # they are links to the real files.
  file(CREATE_LINK ../${VELANE_LIB_DIR}/${program} ${CMAKE_BINARY_DIR}/packaging/bin/${program}
       SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/bin/${program} DESTINATION bin)
endforeach()
# The web engine's module, where the installed player looks for it.
install(TARGETS velane_webview LIBRARY DESTINATION ${VELANE_LIB_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/ DESTINATION ${VELANE_SHARE_DIR}/demo
        PATTERN ".keep" EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur-autostart.desktop
        DESTINATION ${VELANE_SHARE_DIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur.desktop
        DESTINATION share/applications)
foreach(size 16 32)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velane-afficheur-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME velane-afficheur.png)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/packaging/velane-afficheur.service
        DESTINATION lib/systemd/user)

# Documentation: copyright, the changelog and one manual page per program,
# made from its own --help and --version text.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^velane-afficheur \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog has no entry for version ${PROJECT_VERSION}")
endif()
set(doc_files ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
find_program(HELP2MAN help2man)
set(man_pages)
if(HELP2MAN)
  set(names_VELANE_Afficheur "full-screen display player for public screens")
  set(names_afficheur-settings "read and write the player's playlist keys")
  set(names_afficheur-check "report what is wrong with the player's content root")
  foreach(program ${VELANE_PROGRAMS})
    if(NOT TARGET ${program})
      continue()
    endif()
    set(page ${CMAKE_BINARY_DIR}/packaging/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
      COMMAND ${HELP2MAN} --no-info --section=1 --name=${names_${program}}
              --include=${CMAKE_SOURCE_DIR}/packaging/manual.h2m
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9n -f ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/packaging/manual.h2m VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  install(FILES ${man_pages} DESTINATION share/man/man1)
else()
  message(WARNING "help2man not found: the package will have no manual pages")
endif()
add_custom_target(velane_docs ALL DEPENDS ${doc_files} ${man_pages})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${doc_files} DESTINATION ${VELANE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velane-afficheur)
set(CPACK_PACKAGE_VENDOR "VELANE")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VELANE <support@velane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
file(READ ${CMAKE_SOURCE_DIR}/packaging/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
string(STRIP "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
# The runtime libraries the binaries link against, found by dpkg-shlibdeps;
# adduser for the content group; bubblewrap for the page process's sandbox;
# the GStreamer plugins the web engine plays video slides with (VP8/VP9 in
# WebM, H.264 in MP4).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, bubblewrap, gstreamer1.0-plugins-good, gstreamer1.0-libav")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/postinst ${CMAKE_BINARY_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
