# Installing Quellmark like any Debian program: the two programs, the manual page of
# quellmark-cli (made with help2man from its help texts), its bash completion, and the window's
# desktop entry and icon; and the .deb that `make package` builds with CPack from the same rules.
include(GNUInstallDirs)

install(TARGETS quellmark-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quellmark-cli)

find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(manpage ${CMAKE_BINARY_DIR}/man/quellmark-cli.1)
  add_custom_command(
    OUTPUT ${manpage}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:quellmark-cli> -DHELP2MAN=${HELP2MAN} -DOUTPUT=${manpage}
            -P ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
    COMMAND gzip -n -9 -f ${manpage}
    DEPENDS quellmark-cli ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
    COMMENT "Making the manual page of quellmark-cli")
  add_custom_target(quellmark-cli-manpage ALL DEPENDS ${manpage}.gz)
  install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found (scripts/install-deps installs it): no manual page")
endif()

if(QUELLMARK_GUI)
  install(TARGETS quellmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The .deb. Its dependencies come from the libraries the programs link (dpkg-shlibdeps: the C
# and C++ runtimes and Qt 6's core, gui and widgets), plus the Qt platform plugins the window
# loads at run time, which no link shows.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellmark)
set(CPACK_PACKAGE_VENDOR "Quellmark developers")
set(CPACK_PACKAGE_CONTACT "Quellmark developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "marks the dimensions of JWW and JWS CAD drawings")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Quellmark converts 2-D CAD drawings in the JWW and JWS formats: it sets the dimension\n"
       "attribute bits of every dimension and writes each drawing back in its own format.\n"
       "It comes as a window (quellmark) and a command-line tool for batches (quellmark-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QUELLMARK_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # The window's texts are Japanese.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic")
endif()
include(CPack)
