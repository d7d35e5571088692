# Installation and packaging: the tool, its chart script, its manual page and
# the README under the install prefix; `cpack -G DEB` in a build folder turns
# the same set into a Debian package.
include(GNUInstallDirs)

install(TARGETS varnak RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/varnak-plot DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/doc/varnak.1 ${PROJECT_SOURCE_DIR}/doc/varnak-plot.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/doc/example-history.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

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

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARNAK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime dependencies come from dpkg-shlibdeps (package
# dpkg-dev) rather than from versions written down here and left to age.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Only varnak-plot needs gnuplot; the counting tool itself runs without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnuplot-nox | gnuplot")

include(CPack)
