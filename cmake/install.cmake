# What `cmake --install` puts where, and the packages CPack makes of it:
# a .deb on Linux, a zip of the self-contained .exe on Windows.
set(package_name velmorant-demo)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  install(TARGETS velmorant-demo RUNTIME DESTINATION .)
  # The guide for Windows users, with the line ends and names Windows opens.
  configure_file(${packaging}/README.windows ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  include(GNUInstallDirs)
  install(TARGETS velmorant-demo velmorant-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripping install (as CPack's) also drops the sections that only tell
  # which compiler made the programs, as Debian's packaging tools do.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program velmorant-demo velmorant-sim)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note --strip-unneeded
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
  install(FILES ${packaging}/velmorant-demo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${packaging}/icons/velmorant-demo.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${packaging}/icons/velmorant-demo-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME velmorant-demo.png)
  endforeach()
  # Manual pages carry the version and are installed compressed, as Debian
  # wants, and so is the changelog; gzip -n leaves out the time, so that two
  # builds give the same bytes.
  foreach(page velmorant-demo velmorant-sim)
    configure_file(${packaging}/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
                       COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/man/${page}.1 > ${PROJECT_BINARY_DIR}/man/${page}.1.gz
                       DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1)
    list(APPEND manual_pages ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  endforeach()
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
                     COMMAND gzip -9n -c ${packaging}/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
                     DEPENDS ${packaging}/changelog)
  add_custom_target(manual_pages ALL DEPENDS ${manual_pages} ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The user's guide as the README; the licence is in the copyright file.
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${package_name})
  install(FILES ${packaging}/README.user DESTINATION ${docdir} RENAME README)
  install(FILES ${packaging}/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${docdir})
endif()

set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmorant demo developers")
set(CPACK_PACKAGE_CONTACT "The Velmorant demo developers <velmorant-demo@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vehicle speed read-out for the Velmorant serial diagnostic interface")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${package_name}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
         "One window: type the serial port the interface is on and a measuring-block\n"
         "group, press Connect, and watch the vehicle speed, decoded from the\n"
         "interface's replies every 100 ms, with every received byte echoed in a log.\n"
         "velmorant-sim, an interface simulator on a pseudo-terminal, lets the\n"
         "program be tried without a car.")
  # Libraries are found by dpkg-shlibdeps; the font that stands in for Arial is not a library.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
endif()
include(CPack)
