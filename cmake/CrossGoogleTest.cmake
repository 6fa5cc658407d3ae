# GoogleTest for a cross build: compiled from the system's GoogleTest sources
# (Debian's package googletest, in /usr/src/googletest) with the cross
# compiler, and the tests run in a scratch Wine prefix that one fixture makes.
set(VELMORA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${VELMORA_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VELMORA_GOOGLETEST_SOURCE}: install googletest")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
# GoogleTest's own sources are not held to this project's warnings.
get_property(VELMORA_SAVED_OPTIONS DIRECTORY PROPERTY COMPILE_OPTIONS)
set_property(DIRECTORY PROPERTY COMPILE_OPTIONS "")
add_subdirectory(${VELMORA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_property(DIRECTORY PROPERTY COMPILE_OPTIONS "${VELMORA_SAVED_OPTIONS}")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "Tests of a cross build need an emulator: install wine64")
endif()
# The tests run in a scratch prefix in the build folder (the test preset points
# WINEPREFIX there), made or brought up to date once per test run, settled, and
# with one Wine server that lives from before the first test to after the last
# (tests/support/wine-prefix.sh says why).
find_program(VELMORA_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
add_test(NAME wine_prefix
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/wine-prefix.sh start
                 ${CMAKE_CROSSCOMPILING_EMULATOR} ${VELMORA_WINESERVER})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 360
                     LABELS "windows")
add_test(NAME wine_server_end
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/wine-prefix.sh end ${VELMORA_WINESERVER})
set_tests_properties(wine_server_end PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 90
                     LABELS "windows")
