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
# A fresh prefix is made once per test run, in the build folder (the test
# preset points WINEPREFIX there). Its Wine server is kept running until the
# last test has ended: a program started while an idle server shuts down can
# fail to start at all.
find_program(VELMORA_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
add_test(NAME wine_prefix
         COMMAND sh -c "\"$1\" -k 2>/dev/null; mkdir -p \"$WINEPREFIX\"; \"$1\" -p >/dev/null 2>&1; \"$0\" wineboot -i >/dev/null 2>&1"
                 ${CMAKE_CROSSCOMPILING_EMULATOR} ${VELMORA_WINESERVER})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 120
                     LABELS "windows")
add_test(NAME wine_server_end COMMAND ${VELMORA_WINESERVER} -k)
set_tests_properties(wine_server_end PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60
                     LABELS "windows")
