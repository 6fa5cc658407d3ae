# Run by CPack on the staged files before it packs them: like Debian's own
# packages, the programs carry no compiler identification (.comment).
file(GLOB _programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(_program IN LISTS _programs)
  execute_process(COMMAND ${CPACK_VELMORA_OBJCOPY} --remove-section=.comment ${_program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
