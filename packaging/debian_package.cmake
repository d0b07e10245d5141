# `make package`: a Debian package of the installed tree. Its library dependencies are read
# from the binaries by dpkg-shlibdeps; only what the binaries load without linking it is named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrix)
# The package carries the version the programs print (--version); the project's version must
# say the same, so that neither can be bumped alone.
file(STRINGS ${PROJECT_SOURCE_DIR}/app/params.h version_line REGEX "kSoftwareVersion = ")
string(REGEX MATCH "\"V?([0-9.]+)\"" _ "${version_line}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "The program's version (${CMAKE_MATCH_1}, app/params.h) differs from "
                      "the project's version (${PROJECT_VERSION}, CMakeLists.txt)")
endif()
set(CPACK_PACKAGE_VERSION ${CMAKE_MATCH_1})
set(CPACK_PACKAGE_VENDOR "Veltrix")
set(CPACK_PACKAGE_CONTACT "Veltrix developers <veltrix-developers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "acquisition, display and calibration for x743 waveform digitizers")
# Lines of at most 79 characters, as Debian's policy asks of the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Veltrix connects one x743 board (8 or 16 channels, up to 3.2 GS/s),
configures it, acquires and displays events, measures times, charges and
noise, saves and replays runs, calibrates the board and obeys a remote TCP
client. It includes a simulated board for work without hardware. The package
holds the Qt desktop application veltrix and the command-line program
veltrix-cli.")
# The changelog's first entry names the version the package carries.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_line LIMIT_COUNT 1)
if(NOT changelog_line MATCHES "^veltrix \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not begin with version ${PROJECT_VERSION}")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
if(VELTRIX_GUI)
  # Qt loads its platform plugin at run time: without one the desktop application cannot start.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Help > Software User's Guide opens the guide with the desktop's default viewer.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
include(CPack)
