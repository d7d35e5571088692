# Installation and packaging: the tool, its chart script, its manual pages,
# the README with its picture and the licence under the install prefix;
# `cpack -G DEB` in a build folder turns the same set into a Debian package.
#
# Three install components:
#   (unnamed)  what every installation holds: the programs, the README and
#              its picture;
#   prefix     what `cmake --install` adds: the manual pages as they are and
#              LICENSE;
#   deb        what only the Debian package holds, in their place: the manual
#              pages compressed, as Debian's policy wants them, the copyright
#              file in Debian's format and changelog.Debian.gz. A plain
#              `cmake --install` leaves this component out.
include(GNUInstallDirs)

install(TARGETS varnak RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/varnak-plot DESTINATION ${CMAKE_INSTALL_BINDIR})

# In the source tree the README shows its picture from doc/; installed, the
# picture lies beside it, so the installed copy links to it there.
set(readme_picture example-history.png)
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(REPLACE "](doc/${readme_picture})" "](${readme_picture})" installed_readme "${readme}")
if(installed_readme STREQUAL readme)
  message(AUTHOR_WARNING "README.md has no link to doc/${readme_picture}; "
                         "the installed README's picture link may not work")
endif()
file(WRITE ${PROJECT_BINARY_DIR}/doc/README.md.new "${installed_readme}")
file(COPY_FILE ${PROJECT_BINARY_DIR}/doc/README.md.new ${PROJECT_BINARY_DIR}/doc/README.md
     ONLY_IF_DIFFERENT)
file(REMOVE ${PROJECT_BINARY_DIR}/doc/README.md.new)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${PROJECT_BINARY_DIR}/doc/README.md ${PROJECT_SOURCE_DIR}/doc/${readme_picture}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(manual_pages varnak.1 varnak-plot.1)
list(TRANSFORM manual_pages PREPEND ${PROJECT_SOURCE_DIR}/doc/ OUTPUT_VARIABLE manual_page_sources)
install(FILES ${manual_page_sources} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT prefix)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT prefix)

# gzip -n leaves the name and time stamp out, so that the same sources give
# the same package.
find_program(GZIP gzip REQUIRED)
set(compressed_files)
foreach(source IN LISTS manual_page_sources ITEMS ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian)
  get_filename_component(name ${source} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/doc/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${PROJECT_BINARY_DIR}/doc/${name}
                     COMMAND ${GZIP} -9nf ${PROJECT_BINARY_DIR}/doc/${name}
                     DEPENDS ${source}
                     COMMENT "Compressing ${name}"
                     VERBATIM)
  list(APPEND compressed_files ${compressed})
endforeach()
add_custom_target(varnak_package_files ALL DEPENDS ${compressed_files})
list(TRANSFORM manual_pages APPEND .gz)
list(TRANSFORM manual_pages PREPEND ${PROJECT_BINARY_DIR}/doc/)
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)

set(VARNAK_PACKAGE_MAINTAINER "varnak maintainers <maintainers@varnak.invalid>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnak)
set(CPACK_PACKAGE_VENDOR "the varnak project")
set(CPACK_PACKAGE_CONTACT "${VARNAK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "history of your e-mail, day by day")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "varnak reads mailbox files in the Berkeley mail format (mbox), whole\n"
       "directory trees of them or wildcard patterns, and prints a tab-separated\n"
       "table with one row per day: the running number of messages and their\n"
       "running size, for sent and received mail together or apart.\n"
       "varnak-plot draws that table as a PNG chart with gnuplot.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# The unnamed component and deb, in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified deb)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The upstream version is project()'s; -1 is the first package of it, the
# entry at the top of packaging/changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARNAK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime dependencies come from dpkg-shlibdeps (package
# dpkg-dev) rather than from versions written down here and left to age.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libarchive is loaded only for -unpack, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VARNAK_LIBARCHIVE_PACKAGE}")
# Only varnak-plot needs gnuplot; the counting tool itself runs without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnuplot-nox | gnuplot")

include(CPack)
