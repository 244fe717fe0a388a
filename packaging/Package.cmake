# The Debian package, built by cpack -G DEB in the build folder from what
# cmake --install puts under /usr. Included from the top level, where CPack
# must be set up.
set(TOLVEK_PACKAGE_MAINTAINER "Tolvek maintainers <tolvek@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disassembler for PIC12/PIC16 program images")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvek reads the program memory image of a PIC12 or PIC16 microcontroller\n"
    "from an Intel-hex file (INHX8M, INHX32 or an INHX8S pair) and writes an\n"
    "assembler listing beside it, with registers and bits named from the chip's\n"
    "data and every jump target labelled. It comes as a small window (tolvek)\n"
    "and a command line (tolvek-cli).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOLVEK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS gputils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
