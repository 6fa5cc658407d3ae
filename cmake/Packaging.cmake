# Installation and packaging rules.
#
# The programs install themselves (bin/); this adds the desktop entry, the icon
# and the documentation, and describes the Debian package that `cpack -G DEB`
# builds from the same installation.
include(GNUInstallDirs)

if(VELMORA_BUILD_APP)
  install(FILES ${PROJECT_SOURCE_DIR}/res/velmora.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon128.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
          RENAME velmora.png)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Velmora contributors")
set(CPACK_PACKAGE_CONTACT "Velmora contributors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Daylight saving time tables for devices on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora prepares a table of fifteen daylight saving time periods, keeps it in .dst files and uploads it to a device on an RS-232 serial port.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora contributors")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# The window program cannot start without a platform plugin, which Debian ships
# apart from the Qt libraries, so it is a dependency and not a recommendation.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6core6 (>= 6.2), qt6-qpa-plugins")
include(CPack)
