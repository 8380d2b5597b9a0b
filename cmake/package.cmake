# The Debian package that `cpack -G DEB` builds from the installed tree: its control fields, and
# the copyright file and changelog that Debian's policy asks of every package.

# The maintainer, named once: the control file, the copyright file and the changelog take it.
set(CORVATH_MAINTAINER "3D-Corvath developers <developers@3d-corvath.org>"
  CACHE STRING "Name and address of the package's maintainer")

set(CPACK_PACKAGE_NAME corvath)
set(CPACK_PACKAGE_VENDOR "3D-Corvath")
set(CPACK_PACKAGE_CONTACT "${CORVATH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for coloured triangle meshes and 3D models")
set(CPACK_PACKAGE_DESCRIPTION_FILE "${CMAKE_SOURCE_DIR}/packaging/description.txt")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the status line needs a fixed-pitch font besides.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fontconfig, fonts-liberation")

# The copyright file as Debian reads it, and the changelog compressed without a time stamp, so
# the same sources give the same package.
set(CORVATH_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/corvath")
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(corvath_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CORVATH_DOC_DIR})

include(CPack)
