# README.md's table "When it goes wrong" is the one list of messages. It is
# made, when CMake configures and again whenever the README changes, into
#   generated/diagnostics.h                tavrek-cli's advice (TAVREK_GENERATED_DIR)
#   TAVREK_DIAGNOSTICS_SCD                 the DIAGNOSTICS of man tavrek, as scdoc text
#   generated/tavrek-cli-diagnostics.h2m   the DIAGNOSTICS of man tavrek-cli, for help2man

find_program(TAVREK_AWK NAMES awk mawk gawk REQUIRED)
set(TAVREK_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/diagnostics.awk)

function(tavrek_diagnostics format out)
    execute_process(COMMAND ${TAVREK_AWK} -v format=${format} -f ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/diagnostics.awk
                            ${CMAKE_SOURCE_DIR}/README.md
                    OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Written only when it changed, so that an edit elsewhere in the README rebuilds nothing.
function(tavrek_write_generated name text)
    file(WRITE ${TAVREK_GENERATED_DIR}/${name}.new "${text}")
    configure_file(${TAVREK_GENERATED_DIR}/${name}.new ${TAVREK_GENERATED_DIR}/${name} COPYONLY)
    file(REMOVE ${TAVREK_GENERATED_DIR}/${name}.new)
endfunction()

tavrek_diagnostics(cpp header)
tavrek_write_generated(diagnostics.h "${header}")
tavrek_diagnostics(roff roff)
tavrek_write_generated(tavrek-cli-diagnostics.h2m "${roff}")
tavrek_diagnostics(scd TAVREK_DIAGNOSTICS_SCD)
