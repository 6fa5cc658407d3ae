# clang-tidy over the project's own sources, as one more test of the build.
# scripts/tidy.sh does the work; the checks and their reasons are in .clang-tidy.

# The sanitizer builds compile the very same sources, so only the plain build
# runs the analysis. It runs alone: it keeps both cores busy for minutes, and
# the link tests measure time on a pseudo-terminal.
if(VELMORA_BUILD_TESTS AND NOT VELMORA_SANITIZE)
  add_test(NAME clang_tidy COMMAND ${PROJECT_SOURCE_DIR}/scripts/tidy.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(clang_tidy PROPERTIES LABELS static TIMEOUT 1800 RUN_SERIAL TRUE)
endif()
