# What `cmake --install` lays out, and the Debian package CPack makes of it:
#   bin/tesselograph-cli, bin/tesselograph            the programs, on PATH
#   share/tesselograph/                               the program's data (programDataFolder):
#     package.txt, locale/locale.txt, locale/<lang>/LC_MESSAGES/tesselograph.mo,
#     TesselographManual.pdf, MaskFile Examples/
#   share/man/man1/*.1.gz                             the manual pages
#   share/bash-completion/completions/tesselograph-cli
#   share/doc/tesselograph/                           copyright, README
# The build tree's bin/ holds the same data beside the executables, so both run unchanged.

install(TARGETS tesselograph-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tesselograph)
  install(TARGETS tesselograph RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/package.txt DESTINATION ${TG_INSTALL_DATADIR})
install(DIRECTORY ${TG_RUNTIME_DIR}/locale DESTINATION ${TG_INSTALL_DATADIR}
  FILES_MATCHING PATTERN "locale.txt" PATTERN "*.mo")

set(tg_completion ${PROJECT_SOURCE_DIR}/cli/tesselograph-cli.bash-completion)
if(EXISTS ${tg_completion})
  install(FILES ${tg_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME tesselograph-cli)
endif()

set(tg_docdir ${CMAKE_INSTALL_DATADIR}/doc/tesselograph)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${tg_docdir} RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${tg_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesselograph)
set(CPACK_PACKAGE_VENDOR "Tesselograph developers")
set(CPACK_PACKAGE_CONTACT "Tesselograph developers <tesselograph@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photographic mosaics from your own photographs and clips")
set(CPACK_PACKAGE_DESCRIPTION
  "Tesselograph reproduces a main image as a grid of small tile pictures chosen from a library
of your own photographs or video clips. It builds a Tile Images List from folders of pictures,
places the tiles under rules for repeats, spacing, orientation and recolouring, and writes the
mosaic as JPEG, TIFF, PSD/PSB, BMP, PPM, an AVI video or a sequence of frames, with a report,
a web page and split pieces on request. This package holds the window program, the command-line
program tesselograph-cli, the user guide and the German translation.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tesselograph)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tesselograph.invalid/")
# The library packages of Debian 12 come from the executables themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Documents and folders open through xdg-open; any PDF viewer shows the user guide.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "evince | okular | qpdfview | pdf-viewer")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian ships stripped programs (debugging symbols belong in a separate package).
set(CPACK_STRIP_FILES ON)
include(CPack)
