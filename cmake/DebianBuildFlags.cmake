# The compiler and linker flags a Debian package is built with, as
# dpkg-buildflags gives them, with every hardening feature on (read-only
# relocations bound at start, fortified functions, stack protection). The
# package carries no debug symbols, so -g is left out.
find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(velmora_debian_flags kind out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(REMOVE_ITEM flags -g)
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

velmora_debian_flags(CPPFLAGS _deb_cppflags)
velmora_debian_flags(CXXFLAGS _deb_cxxflags)
velmora_debian_flags(CFLAGS _deb_cflags)
velmora_debian_flags(LDFLAGS _deb_ldflags)
add_compile_options(${_deb_cppflags}
                    "$<$<COMPILE_LANGUAGE:CXX>:${_deb_cxxflags}>"
                    "$<$<COMPILE_LANGUAGE:C>:${_deb_cflags}>")
add_link_options(${_deb_ldflags})
message(STATUS "Debian build flags: ${_deb_cppflags} ${_deb_cxxflags} ${_deb_ldflags}")
