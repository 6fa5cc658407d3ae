# velmora_add_gtest(TARGET [LABELS label...] [TIMEOUT seconds])
# A GoogleTest program as tests. Built for this machine, each test case is a
# test of its own (gtest_discover_tests). Cross-built for Windows, the program
# runs whole, once, under the emulator (wine64) in the scratch Wine prefix:
# starting Wine for each of several hundred cases would cost minutes.
include_guard(GLOBAL)
include(GoogleTest)

function(velmora_add_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
                         FIXTURES_REQUIRED wine_prefix
                         ENVIRONMENT "${VELMORA_QT_TEST_ENVIRONMENT}")
  else()
    gtest_discover_tests(${target} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
                         DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# velmora_add_qtest(TARGET LABEL): a QtTest program as one test, offscreen; on
# Windows under wine64 in the scratch Wine prefix, with Qt on WINEPATH. Wine
# keeps QT_* variables from Windows programs, so there the platform is an
# argument.
function(velmora_add_qtest target label)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} -platform offscreen)
  else()
    add_test(NAME ${target} COMMAND ${target})
  endif()
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "${VELMORA_QT_TEST_ENVIRONMENT}"
                       LABELS "${label}" TIMEOUT 120)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  endif()
endfunction()
