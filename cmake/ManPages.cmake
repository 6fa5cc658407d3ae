# The manual pages, compressed as Debian installs them. velmora-cli's and
# velmora-devsim's are written by help2man from the programs' --help and
# --version at build time, so they follow the programs; the window program reads no options and
# its page is kept by hand in man/velmora.1.in.
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(FATAL_ERROR "The manual pages need help2man (scripts/install-deps.sh installs it)")
endif()

set(_man ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${_man})
# The pages carry the release's month rather than the day they were built.
execute_process(COMMAND date -u -d "${_release_date}" +%s
                OUTPUT_VARIABLE _epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(_env ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${_epoch})

configure_file(${PROJECT_SOURCE_DIR}/man/velmora.1.in ${_man}/velmora.1 @ONLY)
add_custom_command(OUTPUT ${_man}/velmora.1.gz
  COMMAND gzip -9nkf ${_man}/velmora.1
  DEPENDS ${_man}/velmora.1 VERBATIM)

add_custom_command(OUTPUT ${_man}/velmora-devsim.1.gz
  COMMAND ${_env} ${HELP2MAN} --no-info
          "--name=answers frames on a pseudo-terminal like a Velmora device"
          --include=${PROJECT_SOURCE_DIR}/man/velmora-devsim.h2m
          --output=${_man}/velmora-devsim.1 $<TARGET_FILE:velmora-devsim>
  COMMAND gzip -9nf ${_man}/velmora-devsim.1
  DEPENDS velmora-devsim ${PROJECT_SOURCE_DIR}/man/velmora-devsim.h2m VERBATIM)

add_custom_command(OUTPUT ${_man}/velmora-cli.1.gz
  COMMAND ${_env} ${PROJECT_SOURCE_DIR}/man/make-cli-page.sh $<TARGET_FILE:velmora-cli>
          ${_man}/velmora-cli.1.gz
  DEPENDS velmora-cli ${PROJECT_SOURCE_DIR}/man/make-cli-page.sh
          ${PROJECT_SOURCE_DIR}/man/help-to-man.awk VERBATIM)

add_custom_target(velmora_manpages ALL DEPENDS
  ${_man}/velmora.1.gz ${_man}/velmora-devsim.1.gz ${_man}/velmora-cli.1.gz)
install(FILES ${_man}/velmora.1.gz ${_man}/velmora-devsim.1.gz ${_man}/velmora-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
