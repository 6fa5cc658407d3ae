# Installation and packaging rules.
#
# The programs install themselves (bin/); this adds the desktop entry, the
# AppStream metadata, the icon, the manual pages, the bash completion, the
# documentation and the sample tables, and describes the Debian package that
# `cmake --workflow --preset package` builds from the same installation.
include(GNUInstallDirs)

set(VELMORA_MAINTAINER "Velmora developers <velmora@example.org>"
    CACHE STRING "Maintainer of the Debian package, name and address")
set(VELMORA_HOMEPAGE "https://example.org/velmora/"
    CACHE STRING "The project's web address, ending in /; the screenshot is main-window.png there")
set(VELMORA_APPSTREAM_ID "org.example.velmora")
option(VELMORA_MANPAGES "Generate and install the manual pages (needs help2man)" ${VELMORA_PACKAGE})
if(VELMORA_PACKAGE AND NOT VELMORA_BUILD_APP)
  message(FATAL_ERROR "The package holds the window program: VELMORA_PACKAGE needs VELMORA_BUILD_APP")
endif()

set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The release is the top entry of the package's changelog, which must name the
# project's version; its date dates the manual pages and the AppStream release.
file(STRINGS ${_packaging}/changelog _changelog)
list(GET _changelog 0 _top)
if(NOT _top MATCHES "^velmora \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog begins with '${_top}'; "
                      "its top entry must be for version ${PROJECT_VERSION}")
endif()
list(FILTER _changelog INCLUDE REGEX "^ -- ")
list(GET _changelog 0 _trailer)
if(NOT _trailer MATCHES ">  ([A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) .*)$")
  message(FATAL_ERROR "packaging/changelog: no date in '${_trailer}'")
endif()
set(_release_date "${CMAKE_MATCH_1}")
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(_month_names January February March April May June July August September October November
                 December)
list(FIND _months "${CMAKE_MATCH_3}" _month)
math(EXPR _month_number "${_month} + 1" OUTPUT_FORMAT DECIMAL)
string(LENGTH "${_month_number}" _digits)
if(_digits EQUAL 1)
  set(_month_number "0${_month_number}")
endif()
list(GET _month_names ${_month} _month_name)
set(VELMORA_RELEASE_DATE "${CMAKE_MATCH_4}-${_month_number}-${CMAKE_MATCH_2}")
set(VELMORA_RELEASE_MONTH "${_month_name} ${CMAKE_MATCH_4}")

set(_gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen})
configure_file(${_packaging}/changelog ${_gen}/changelog COPYONLY)
add_custom_command(OUTPUT ${_gen}/changelog.gz
  COMMAND gzip -9nkf ${_gen}/changelog
  DEPENDS ${_gen}/changelog VERBATIM)
add_custom_target(velmora_changelog ALL DEPENDS ${_gen}/changelog.gz)

if(VELMORA_BUILD_APP)
  install(FILES ${PROJECT_SOURCE_DIR}/res/velmora.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/velmora-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon128.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
          RENAME velmora.png)
  configure_file(${PROJECT_SOURCE_DIR}/res/velmora.metainfo.xml.in
                 ${_gen}/${VELMORA_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${_gen}/${VELMORA_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/cli/velmora-cli.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME velmora-cli)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${_packaging}/copyright ${_gen}/changelog.gz
        DESTINATION ${_docdir})
# The README's screenshot, where the README's link looks for it.
install(FILES ${PROJECT_SOURCE_DIR}/docs/main-window.png DESTINATION ${_docdir}/docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${_docdir}/examples)

if(VELMORA_MANPAGES)
  include(${CMAKE_CURRENT_LIST_DIR}/ManPages.cmake)
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "${VELMORA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Daylight saving time tables for devices on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora prepares a table of fifteen daylight saving time periods, one row
per year with the date DST begins and the date it ends, keeps it in a
75-byte .dst file and uploads it to a device on an RS-232 serial port.

The package holds the window program (velmora), the command-line companion
for scripts (velmora-cli), which also builds tables from the system's
time-zone database, and a device simulator (velmora-devsim).")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_VELMORA_OBJCOPY "${CMAKE_OBJCOPY}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripComment.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELMORA_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link come from dpkg-shlibdeps. The window program
# cannot start without a platform plugin, which Debian ships apart from the Qt
# libraries, so it is a dependency and not a recommendation; `velmora-cli make`
# reads the time-zone database.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tzdata")
include(CPack)
