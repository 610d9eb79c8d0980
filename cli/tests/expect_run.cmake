# Runs `opkit-host run` over a script that must fail, and checks the exit status and the
# messages that the script's own "#=" lines ask for:
#   #= status N        the exit status
#   #= args A B ...    arguments given before the script
#   #= output TEXT     a text that the output (stdout and stderr together) must hold
#   #= absent TEXT     a text that the output must not hold
file(STRINGS ${SCRIPT} lines REGEX "^#= ")
set(status "")
set(args "")
set(wanted "")
set(unwanted "")
foreach(line IN LISTS lines)
    if(line MATCHES "^#= status ([0-9]+)$")
        set(status ${CMAKE_MATCH_1})
    elseif(line MATCHES "^#= args (.*)$")
        separate_arguments(args UNIX_COMMAND "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^#= output (.*)$")
        list(APPEND wanted "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^#= absent (.*)$")
        list(APPEND unwanted "${CMAKE_MATCH_1}")
    endif()
endforeach()
if(status STREQUAL "")
    message(FATAL_ERROR "${SCRIPT} has no '#= status' line")
endif()

execute_process(COMMAND ${EMULATOR} ${TOOL} run ${args} ${SCRIPT}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc STREQUAL status)
    message(FATAL_ERROR "exit status ${rc}, expected ${status}")
endif()
foreach(text IN LISTS wanted)
    string(FIND "${out}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the output does not hold: ${text}")
    endif()
endforeach()
foreach(text IN LISTS unwanted)
    string(FIND "${out}" "${text}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "the output holds: ${text}")
    endif()
endforeach()
