# What a Windows build installs beside the programs, laid out for the
# installer (packaging/windows/velmora.nsi): bin/ the programs with the Qt
# libraries, the MinGW runtime and the plugins they load, as Windows finds them
# next to the program; doc/ the README, the sample tables and the licences; the
# installer's icon at the top.
if(NOT VELMORA_BUILD_APP)
  return()
endif()

get_target_property(_qt_core_location Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(_qt_bin "${_qt_core_location}" DIRECTORY)
get_filename_component(_qt_prefix "${_qt_bin}" DIRECTORY)

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              ${_qt_bin}/libstdc++-6.dll ${_qt_bin}/libgcc_s_seh-1.dll ${_qt_bin}/libwinpthread-1.dll
        DESTINATION bin)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION bin/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION bin/styles)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION doc)
install(FILES ${PROJECT_SOURCE_DIR}/docs/main-window.png DESTINATION doc/docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION doc/examples)
install(DIRECTORY ${_qt_prefix}/LICENSES/ DESTINATION doc/licenses/qt)
install(FILES ${PROJECT_SOURCE_DIR}/res/velmora.ico DESTINATION .)

# The installer made from this build, tried under Wine per user and for all
# users, over an older version, beside another program's .dst and while
# velmora.exe runs (on Qt's offscreen platform).
find_program(VELMORA_MAKENSIS makensis)
if(VELMORA_BUILD_TESTS AND VELMORA_MAKENSIS AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME windows_installer
           COMMAND bash -c "setup=$(scripts/windows-installer.sh --pack '${CMAKE_BINARY_DIR}' | tail -n 1) && packaging/windows/check-installer.sh \"$setup\" '${_qt_prefix}/plugins' '${CMAKE_BINARY_DIR}/installer-check'"
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(windows_installer PROPERTIES LABELS "installer;windows" TIMEOUT 600)
endif()
