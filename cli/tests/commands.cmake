# The subcommands end to end, as a user types them: help texts, compose into explain and call,
# the screen and variables that call prints, and the errors of bad input.

# Runs the tool; checks the exit status and that the output holds each given text.
function(check status)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "TOOL;DIR;INPUT" "ARGS;HOLDS;LACKS")
    if(NOT arg_TOOL)
        set(arg_TOOL ${TOOL})
    endif()
    if(NOT arg_DIR)
        set(arg_DIR .)
    endif()
    if(NOT arg_INPUT)
        set(arg_INPUT /dev/null)
    endif()
    execute_process(COMMAND ${EMULATOR} ${arg_TOOL} ${arg_ARGS} WORKING_DIRECTORY ${arg_DIR}
        INPUT_FILE ${arg_INPUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc STREQUAL status)
        message(FATAL_ERROR "opkit-host ${arg_ARGS}: exit status ${rc}, expected ${status}\n${out}")
    endif()
    foreach(text IN LISTS arg_HOLDS)
        string(FIND "${out}" "${text}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "opkit-host ${arg_ARGS}: the output lacks \"${text}\":\n${out}")
        endif()
    endforeach()
    foreach(text IN LISTS arg_LACKS)
        string(FIND "${out}" "${text}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "opkit-host ${arg_ARGS}: the output holds \"${text}\":\n${out}")
        endif()
    endforeach()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

# Help, with examples, on every subcommand.
check(0 ARGS --help HOLDS "run" "call" "explain" "compose" "shell" "Examples:")
foreach(sub run call explain compose shell)
    check(0 ARGS ${sub} --help HOLDS "Examples:" "opkit-host ${sub}")
endforeach()
check(0 ARGS run --help HOLDS "expect notice" "at +5s set 7" "Exit status")
check(0 ARGS --version)
if(NOT last_output STREQUAL "opkit-host ${VERSION}\n")
    message(FATAL_ERROR "--version gave \"${last_output}\", expected \"opkit-host ${VERSION}\"")
endif()
check(2 ARGS HOLDS "subcommand")
check(2 ARGS frob HOLDS "frob")

# compose -> explain: the same fields come back, and no notice.
check(0 ARGS compose CMP_INT left=3 relation=GE right=4 mode=S)
string(STRIP "${last_output}" record)
if(NOT record STREQUAL "29CMP_INT   03  GE   04       S")
    message(FATAL_ERROR "compose gave \"${record}\"")
endif()
check(0 ARGS explain "${record}"
    HOLDS "a left         12-13    \"03\"       3" "e mode         30       \"S\"" "Notice: none from the record itself")
check(0 ARGS compose --quoted TRANMSG switch=off HOLDS "\"10TRANMSG N \"")
check(0 ARGS compose POPUPWN HOLDS "rows=1-16" "frame=N|normal|0 R|reverse|1")
check(2 ARGS compose DICOUNT operation=I counter=40 HOLDS "counter=40: out of range" "DICOUNT fields:")
check(2 ARGS compose DICOUNT operation=I HOLDS "needs counter=")
check(2 ARGS compose NOPE a=1 HOLDS "no function is called \"NOPE\"" "CMP_INT")
check(2 ARGS compose DICOUNT operation HOLDS "is not field=value")

# explain: the notice and the exit status 1.
check(1 ARGS explain "28CMP_INT   03  GE   04      "
    HOLDS "Notice: C4" "before the mode letter in column 30" "Bad CCFR(C4):28CMP_INT   03  GE")
check(1 ARGS explain "21DICUONT I         05" HOLDS "did you mean DICOUNT?" "Notice: M1, before any host service")

# call: result, changed variables and the numbered screen.
check(0 ARGS call "29CMP_INT   03  GE   04       S" --set 3=12 --set 4=9
    HOLDS "CMP_INT \"29CMP_INT   03  GE   04       S\" => result 1" "user variables: no change"
          "  0 |                                        |" " 19 |" "cursor at row 0, column 0")
check(0 ARGS call "21INTMATH   02  +   03 " --set 2=40 --set 3=2 HOLDS "var 1 = \"42\"")
check(0 ARGS call "21DICOUNT I         05 " "32DICOUNT S         05         03 "
    HOLDS "var 3 = \"1\"")
check(1 ARGS --color never call "05HELLO"
    HOLDS "notice M1 (the key it waits for was pressed: Enter)" "  0 |Bad CCFR(M1):05HELLO" "  1 |Press any key")
check(0 ARGS --color never call "23POPUPWN C     02      R"
    HOLDS "  1 |  +----------------------+              | attribute 1: 2-25")
check(0 ARGS --rows 5 --columns 30 call "10TRANMSG N " HOLDS "  4 |" LACKS "  5 |")
check(1 ARGS call "22WAIT_UV     07     005" --unreadable 7 HOLDS "notice W3")
check(0 ARGS call "52TM_DATE 12                  04   AMER             05" --clock "2026-05-12 14:30:05"
    HOLDS "var 4 = \"02:30:05 PM\"" "var 5 = \"05/12/26\"")
check(2 ARGS call "05HELLO" --set 3 HOLDS "--set 3: write NUMBER=TEXT")
check(2 ARGS call "05HELLO" --key nonsense HOLDS "unknown key \"nonsense\"")

# Errors: the plug-in and the scripts.
check(2 ARGS --plugin /nonexistent/opkit.so call "05HELLO" HOLDS "cannot load the plug-in")
check(2 ARGS run /nonexistent/script.txt HOLDS "/nonexistent/script.txt: error: cannot read the script")

# call and explain agree on the exit status of a record that leads to a notice.
check(1 ARGS call "28CMP_INT   03  GE   04      " HOLDS "notice C4")
check(1 ARGS call "05HELLO" "10TRANMSG N " HOLDS "notice M1")

# The plug-in: only the one beside the tool or the one --plugin names, said with -v.
get_filename_component(tool_dir ${TOOL} DIRECTORY)
get_filename_component(tool_name ${TOOL} NAME)
# The plug-in the build puts beside the tool: opkit.so, opkit.dll, or a terminal DLL run
# through the loader.
file(GLOB plugin_file ${tool_dir}/opkit.so ${tool_dir}/opkit.dll ${tool_dir}/opkitarm.dll
    ${tool_dir}/opkitx86.dll)
if(NOT plugin_file)
    message(FATAL_ERROR "no plug-in beside ${TOOL}")
endif()
list(GET plugin_file 0 plugin_file)
file(GLOB hostlib_file ${tool_dir}/hostlib.*)
set(lone ${CMAKE_CURRENT_BINARY_DIR}/opkit-host-alone)
file(REMOVE_RECURSE ${lone})
file(MAKE_DIRECTORY ${lone}/sub)
file(COPY ${TOOL} ${hostlib_file} DESTINATION ${lone})
# Paths are checked by their last parts: under wine the tool prints them as Z:\...
check(2 TOOL ${lone}/${tool_name} ARGS call "05HELLO" HOLDS "cannot find the plug-in" "opkit-host-alone"
    LACKS "result")
check(2 TOOL ${lone}/${tool_name} ARGS run ${CMAKE_CURRENT_LIST_DIR}/../../examples/demo.txt
    HOLDS "cannot find the plug-in")
get_filename_component(plugin_name ${plugin_file} NAME)
check(0 DIR ${tool_dir} ARGS -v --plugin ${plugin_name} call "10TRANMSG N "
    HOLDS "plug-in " "${plugin_name} (" " bytes, modified 20" "=> result")
check(2 DIR ${lone}/sub ARGS --plugin ${plugin_name} call "10TRANMSG N " HOLDS "cannot load")
file(COPY ${plugin_file} DESTINATION ${lone})
check(0 TOOL ${lone}/${tool_name} ARGS -v call "10TRANMSG N "
    HOLDS "plug-in " "opkit-host-alone" "${plugin_name} (")
check(0 TOOL ${lone}/${tool_name} ARGS run ${CMAKE_CURRENT_LIST_DIR}/../../examples/demo.txt
    HOLDS "plug-in " "opkit-host-alone" "${plugin_name} (")
find_program(READELF readelf)
if(READELF AND NOT EMULATOR)
    execute_process(COMMAND ${READELF} -d ${TOOL} OUTPUT_VARIABLE dynamic)
    string(REGEX MATCH "(runpath|rpath): \\[[^]]*\\]" search "${dynamic}")
    if(search MATCHES "[[:]/")
        message(FATAL_ERROR "opkit-host searches for libraries outside its own folder: ${search}")
    endif()
endif()

# Scripts that cannot be read, or that make no call.
set(scratch ${CMAKE_CURRENT_BINARY_DIR}/opkit-host-scripts)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
file(WRITE ${scratch}/empty.txt "")
file(WRITE ${scratch}/nocall.txt "# only a comment\necho \"hi\"\n")
file(WRITE ${scratch}/one.txt "call \"10TRANMSG N \"\nexpect result 0\n")
check(2 ARGS run ${scratch} HOLDS "cannot read the script: it is a folder" LACKS "passed")
check(2 ARGS run ${scratch}/missing.txt HOLDS "cannot read the script: No such file")
check(2 ARGS run ${scratch}/empty.txt HOLDS "makes no call" LACKS "passed")
check(2 ARGS run ${scratch}/nocall.txt HOLDS "makes no call")
check(0 ARGS run --allow-empty ${scratch}/empty.txt ${scratch}/nocall.txt HOLDS "0 calls")
check(0 ARGS run - INPUT ${scratch}/one.txt HOLDS "1 call, 1 expectation passed")

# Control bytes of a bad script line are escaped in the error, not sent to the terminal.
string(ASCII 27 8 13 esc_bs_cr)
file(WRITE ${scratch}/binary.txt "frob ${esc_bs_cr}[2J\n")
string(ASCII 27 esc)
check(2 ARGS run ${scratch}/binary.txt HOLDS "\\x1B\\x08\\x0D[2J" LACKS "${esc}")

# A misspelt function in the field form is named as such, and a field form with no fields lists
# the fields instead of sending a bare name.
file(WRITE ${scratch}/typo.txt "call CMPINT left=3 relation=GE right=4 mode=S\n")
check(2 ARGS run ${scratch}/typo.txt HOLDS "no function is called CMPINT; did you mean CMP_INT?")
file(WRITE ${scratch}/bare.txt "call DICOUNT\n")
check(2 ARGS run ${scratch}/bare.txt HOLDS "call DICOUNT needs its fields; DICOUNT fields:" "counter=")

# Every error of a script is reported with its line and column before anything runs, up to a
# limit that is said when reached.
file(WRITE ${scratch}/errors.txt
    "echo \"never shown\"\ncall \"10TRANMSG N \"\nset 0 x\nexpect notice C\nfrob 1\n")
check(2 ARGS run ${scratch}/errors.txt
    HOLDS "errors.txt:3:5: error: variable must be 1 to 99" "errors.txt:4:15: error: a notice code"
    "errors.txt:5:1: error: unknown directive \"frob\""
    LACKS "never shown" "=> " "more errors")
string(REPEAT "frob\n" 25 many_errors)
file(WRITE ${scratch}/many.txt "${many_errors}")
check(2 ARGS run ${scratch}/many.txt HOLDS "many.txt:20:1: error" "the first 20 are shown"
    LACKS "many.txt:21:1")

# A write outside the screen is refused with its place; so is a step of the clock beyond its
# years, before the script runs or, when only the clock's time shows it, when it is reached.
file(WRITE ${scratch}/outside.txt "call \"10TRANMSG N \"\nwrite 5 38 \"abc\"\nadvance 99999999999h\n")
check(2 ARGS run ${scratch}/outside.txt HOLDS "outside.txt:2:12: error: the text runs past"
    "outside.txt:3:9: error: a duration longer than")
check(2 ARGS --rows 5 run ${scratch}/outside.txt HOLDS "outside.txt:2:7: error: row must be 0 to 4")
file(WRITE ${scratch}/late.txt "clock 2099-12-31 23:00:00\ncall \"10TRANMSG N \"\nadvance 2h\n")
check(2 ARGS run ${scratch}/late.txt HOLDS "late.txt:3: error: advance 7200.000 s would take the clock past")
