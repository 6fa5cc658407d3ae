# clang-tidy over the project's own sources, and the check of their layout
# against .clang-format, as two more tests of the build. scripts/tidy.sh and
# scripts/format.sh do the work; the checks and their reasons are in .clang-tidy.

# The sanitizer builds compile the very same sources, so only the plain build
# (and not a cross build, whose compile commands are for another system)
# runs the analysis. It runs alone: it keeps both cores busy for minutes, and
# the link tests measure time on a pseudo-terminal.
if(VELMORA_BUILD_TESTS AND NOT VELMORA_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME clang_tidy COMMAND ${PROJECT_SOURCE_DIR}/scripts/tidy.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(clang_tidy PROPERTIES LABELS static TIMEOUT 1800 RUN_SERIAL TRUE)
  add_test(NAME clang_format COMMAND ${PROJECT_SOURCE_DIR}/scripts/format.sh --check)
  set_tests_properties(clang_format PROPERTIES LABELS static TIMEOUT 300)
endif()
