# Installing Quellmark like any Debian program, as two parts that `make package` turns into two
# .debs with CPack:
#   cli     quellmark-cli: the program, its manual page (help2man from its help texts and
#           quellmark-cli.h2m), its bash completion, the README; needs only the C and C++
#           runtimes
#   window  quellmark: the window, its manual page, desktop entry and icon; needs quellmark-cli,
#           Qt 6 and a Japanese font
# Each part carries the copyright file and the changelog in its documentation folder.
include(GNUInstallDirs)

install(TARGETS quellmark-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quellmark-cli COMPONENT cli)

# The changelog as Debian keeps it: gzip'd without a time stamp, so builds give the same bytes.
set(quellmark_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${quellmark_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -n -9 -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${quellmark_changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(quellmark-changelog ALL DEPENDS ${quellmark_changelog})

function(quellmark_package_docs component package)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${quellmark_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()
quellmark_package_docs(cli quellmark-cli)

# The README, which the manual pages point to for the whole story, compressed as Debian keeps
# documentation.
set(quellmark_readme ${CMAKE_BINARY_DIR}/packaging/README.md.gz)
add_custom_command(
  OUTPUT ${quellmark_readme}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/README.md > ${quellmark_readme}
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md
  COMMENT "Compressing the README")
add_custom_target(quellmark-readme ALL DEPENDS ${quellmark_readme})
install(FILES ${quellmark_readme} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellmark-cli COMPONENT cli)

find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(manpage ${CMAKE_BINARY_DIR}/man/quellmark-cli.1)
  add_custom_command(
    OUTPUT ${manpage}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:quellmark-cli> -DHELP2MAN=${HELP2MAN} -DOUTPUT=${manpage}
            -DINCLUDE=${CMAKE_CURRENT_LIST_DIR}/quellmark-cli.h2m -P ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
    COMMAND gzip -n -9 -f ${manpage}
    DEPENDS quellmark-cli ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake ${CMAKE_CURRENT_LIST_DIR}/quellmark-cli.h2m
    COMMENT "Making the manual page of quellmark-cli")
  add_custom_target(quellmark-cli-manpage ALL DEPENDS ${manpage}.gz)
  install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
elseif(QUELLMARK_PACKAGE)
  message(FATAL_ERROR "help2man not found: the package needs it for the manual page (scripts/install-deps package)")
endif()

if(QUELLMARK_GUI)
  install(TARGETS quellmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  set(window_manpage ${CMAKE_BINARY_DIR}/man/quellmark.1.gz)
  add_custom_command(
    OUTPUT ${window_manpage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -n -9 -c ${CMAKE_CURRENT_LIST_DIR}/quellmark.1 > ${window_manpage}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/quellmark.1
    COMMENT "Compressing the manual page of quellmark")
  add_custom_target(quellmark-manpage ALL DEPENDS ${window_manpage})
  install(FILES ${window_manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT window)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellmark.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
  quellmark_package_docs(window quellmark)
endif()

# The packages' programs lose the sections Debian strips (the compiler's comment, notes), as
# dh_strip would, once they are installed into the package's tree.
function(quellmark_package_strip component program)
  if(QUELLMARK_PACKAGE)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                                  COMMAND_ERROR_IS_FATAL ANY)"
            COMPONENT ${component})
  endif()
endfunction()
quellmark_package_strip(cli quellmark-cli)
if(QUELLMARK_GUI)
  quellmark_package_strip(window quellmark)
endif()

# The .debs. Their dependencies come from the libraries the programs link (dpkg-shlibdeps), plus
# for the window the Qt platform plugins it loads at run time, which no link shows, a Japanese
# font, and quellmark-cli of the same version.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(QUELLMARK_GUI)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_PACKAGE_NAME quellmark)
set(CPACK_PACKAGE_VENDOR "The Quellmark developers")
set(CPACK_PACKAGE_CONTACT "The Quellmark developers <developers@quellmark.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME quellmark-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
# The completion script works only with bash-completion, which Debian's own tools recommend too.
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "bash-completion")
string(CONCAT CPACK_COMPONENT_CLI_DESCRIPTION
    "marks the dimensions of JWW and JWS CAD drawings (command line)\n"
    "quellmark-cli converts 2-D CAD drawings in the JWW and JWS formats: it sets\n"
    "the dimension attribute bits of every dimension and writes each drawing back\n"
    "in its own format, in parallel batches, with backups of what was there.")
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quellmark)
# The window's texts are Japanese only: without a Japanese font every caption is a row of boxes.
# The smaller font first.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "quellmark-cli (= ${PROJECT_VERSION}), qt6-qpa-plugins, fonts-ipafont-gothic | fonts-noto-cjk")
string(CONCAT CPACK_COMPONENT_WINDOW_DESCRIPTION
    "marks the dimensions of JWW and JWS CAD drawings (window)\n"
    "quellmark is the window of Quellmark: a folder tree, the drawings of a folder\n"
    "with their memos, and the conversion of the drawings chosen into another\n"
    "folder, on the engine of quellmark-cli.")
include(CPack)
