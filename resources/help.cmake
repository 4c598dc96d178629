# help.htm lies beside the executables, where the Help command opens it.
add_custom_command(
    OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help.htm
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/help.htm
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help.htm
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/help.htm
    COMMENT "Copying help.htm"
)
add_custom_target(veltran_help ALL DEPENDS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help.htm)
