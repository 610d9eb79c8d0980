# The subcommands end to end, as a user types them: help texts, compose into explain and call,
# the screen and variables that call prints, and the errors of bad input.

include(${CMAKE_CURRENT_LIST_DIR}/check.cmake)

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
check(2 ARGS run --junit - ${scratch}/one.txt HOLDS "--junit: the JUnit report goes to a file")
foreach(bad -1 0.5 99999999999)
    check(2 ARGS run --timeout ${bad} ${scratch}/one.txt
        HOLDS "--timeout: a whole number of seconds, 0 (never) to 2147483647, not ${bad}")
endforeach()
check(0 ARGS run - INPUT ${scratch}/one.txt HOLDS "1 call, 1 expectation passed")

# Control bytes of a bad script line are escaped in the error, not sent to the terminal.
string(ASCII 27 8 13 esc_bs_cr)
file(WRITE ${scratch}/binary.txt "frob ${esc_bs_cr}[2J\n")
string(ASCII 27 esc)
check(2 ARGS run ${scratch}/binary.txt HOLDS "\\x1B\\x08\\x0D[2J" LACKS "${esc}")
# So are bytes above 0x7E, as call lines write them, and the caret stays under its column.
file(WRITE ${scratch}/high.txt "key \"é\" frob\n")
check(2 ARGS run ${scratch}/high.txt
    HOLDS "key \"\\xC3\\xA9\" frob\n      |                ^" LACKS "é")

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
# With --stream a script runs as it is read: what comes before its first error runs (from a
# file or standard input), nothing after it does, and every error is still reported.
check(2 ARGS run --stream ${scratch}/errors.txt
    HOLDS "never shown" "TRANMSG N \"  => 0" "errors.txt:3:5: error: variable must be 1 to 99"
    "errors.txt:5:1: error: unknown directive \"frob\"" "stopped at its first error"
    LACKS "1 call")
check(2 ARGS run --stream - INPUT ${scratch}/errors.txt
    HOLDS "never shown" "(standard input):4:15: error: a notice code" "stopped at its first error")
check(0 ARGS run --stream - INPUT ${scratch}/one.txt HOLDS "1 call, 1 expectation passed")
check(2 ARGS run --stream ${scratch}/nocall.txt HOLDS "hi" "makes no call")
check(2 ARGS run --stream ${scratch}/missing.txt ${scratch}/one.txt HOLDS "missing.txt: error:"
    LACKS "TRANMSG")
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
# Record warnings: a field shifted by a column and length digits that disagree pass every
# check, so they are warned about in explain, call and run, and fail with --strict.
set(shifted "29CMP_INT   03 GE   04        S")
check(0 ARGS explain "${shifted}"
    HOLDS "warning: record column 15 holds \"G\", which no field of CMP_INT reads"
          "warning: record column 20 holds \"0\"")
check(1 ARGS explain --strict "${shifted}" HOLDS "warning: record column 15")
check(0 ARGS explain "30CMP_INT   03  GE   04       S"
    HOLDS "warning: the length digits say 30 but the record has 29 characters")
check(0 ARGS explain "29CMP_INT   03  GE   04       S" "10TRANMSG N " LACKS "warning:")
check(0 ARGS call "${shifted}" --set 3=12 --set 4=9 HOLDS "=> result" "warning: record column 15 holds")
check(1 ARGS call --strict "${shifted}" --set 3=12 --set 4=9 HOLDS "warning: record column 20 holds")
file(WRITE ${scratch}/shifted.txt "set 3 \"12\"\nset 4 \"9\"\ncall \"${shifted}\"\nexpect result 0\n")
check(0 ARGS run ${scratch}/shifted.txt
    HOLDS "shifted.txt:3: warning: record column 15 holds \"G\"" "1 expectation passed")
check(1 ARGS run -q --strict ${scratch}/shifted.txt HOLDS "shifted.txt: 2 warnings FAILED (--strict)")
# A script's explain directive shows them as explain does; they fail nothing, as no call is made.
file(WRITE ${scratch}/explained.txt "call \"10TRANMSG N \"\nexplain \"${shifted}\"\n")
check(0 ARGS run --strict ${scratch}/explained.txt HOLDS "warning: record column 15 holds \"G\"")
# The trap of a length that passes the length check but leaves out a field the call reads.
check(1 ARGS explain "28CMP_INT   03  GE   04      "
    HOLDS "warning: the length 28 passes the length checks of CMP_INT, but the mode field in record column 30 needs a length of at least 29")
check(1 ARGS explain "5" HOLDS "(1 character)")

# lint: each finding with its file, line and column, a summary, and the exit status.
file(WRITE ${scratch}/app.tbl [=[
# The records of an application
"29CMP_INT   03  GE   04       S"   # good
  10TRANMSG N 
"29CMP_INT   03 GE   04        S"
"28CMP_INT   03  GE   04      "
30CMP_INT   03  GE   04       S
"21DICOUNT X         05 "
"21DICO\x55NT I         05 " # an escape is one column
"unclosed
]=])
check(1 ARGS lint ${scratch}/app.tbl
    HOLDS "app.tbl:4:17: unread-column: record column 15 holds \"G\""
          "app.tbl:4:22: unread-column: record column 20 holds \"0\""
          "app.tbl:5:31: C4: the record leads to notice C4"
          "app.tbl:5:31: trap: the length 28 passes the length checks of CMP_INT"
          "app.tbl:6:1: length-mismatch: the length digits say 30 but the record has 29"
          "app.tbl:7:12: D5: the record leads to notice D5"
          "app.tbl:9:1: syntax: the quoted record has no closing quote"
          "app.tbl:5:2: length-mismatch: the length digits say 28 but the record has 27"
          "app.tbl:3:1: M1: the record leads to notice M1"
          "7 records in 1 table: 10 findings"
    LACKS "app.tbl:1:" "app.tbl:2:" "app.tbl:8:")
check(0 ARGS lint ${CMAKE_CURRENT_LIST_DIR}/../../examples/tables/records.tbl
    HOLDS "records in 1 table: nothing found")
check(2 ARGS lint ${scratch}/missing.tbl HOLDS "missing.tbl: error: cannot read the table"
    LACKS "nothing found")
check(2 ARGS lint ${scratch}/missing.tbl ${scratch}/app.tbl HOLDS "in 1 table:")
check(1 ARGS lint - INPUT ${scratch}/app.tbl
    HOLDS "(standard input):7:12: D5: the record leads to notice D5" "7 records in 1 table: 10 findings")

# run: the smaller matters. -q with -v is refused; events still due at the end are reported.
check(2 ARGS run -q -v ${scratch}/one.txt HOLDS "excludes")
file(WRITE ${scratch}/pending.txt "call \"10TRANMSG N \"\nat +5s key abort\nexpect result 0\n")
check(0 ARGS run ${scratch}/pending.txt
    HOLDS "pending.txt: warning: 1 scheduled event was still pending when the script ended")
check(1 ARGS run --strict ${scratch}/pending.txt HOLDS "FAILED (--strict)")
check(1 ARGS run --strict ${scratch}/pending.txt ${scratch}/one.txt
    HOLDS "FAILED: 0 of 2 expectations in 1 of 2 scripts (warnings under --strict in 1)")

# A failed expectation with the host calls of the call behind it.
file(WRITE ${scratch}/failing.txt [=[
set 2 "40"
set 3 "2"
call "21INTMATH   02  +   03 "
expect var 1 "42"
expect result 7
]=])
check(1 ARGS run --trace-on-failure ${scratch}/failing.txt
    HOLDS "failing.txt:5: FAIL expect result 7" "host calls of the last call:" "_ReadUserVariable(\"40\", 2) = 0")
check(1 ARGS run ${scratch}/failing.txt LACKS "host calls of the last call")

# TAP: a test point per expectation, the details of a failure once as a YAML block under it,
# everything else a comment, the plan last.
check(1 ARGS --color never run --tap ${scratch}/failing.txt ${scratch}/one.txt
    HOLDS "TAP version 13\n" "\nok 1 - " "failing.txt:4: expect var 1 \"42\"\n"
          "\nnot ok 2 - " "failing.txt:5: expect result 7\n  ---\n  message: \"expected result 7, found 0\"\n"
          "  call: \"line 3: call \\\"21INTMATH   02  +   03 \\\"\"\n  ...\n" "\nok 3 - " "\n1..3\n"
    LACKS "FAIL expect")
string(REGEX REPLACE "\r?\n$" "" tap "${last_output}")
string(REPLACE "\r" "" tap "${tap}")
string(REPLACE "\n" ";" tap_lines "${tap}")
foreach(line IN LISTS tap_lines)
    if(NOT line MATCHES "^(TAP version 13|ok [0-9]+ - |not ok [0-9]+ - |# |#$|1\\.\\.[0-9]+$|  ---$|  \\.\\.\\.$|  [a-z]+:|    )")
        message(FATAL_ERROR "run --tap printed a line that is no TAP: \"${line}\"")
    endif()
endforeach()

# The TAP's real reader: prove's verdict agrees with the tool's exit status for a passing run,
# a failing one, an expectation with # and \ in it (which must not read as a directive), a
# script error found before the run and one reached while streaming, a notice nothing expects,
# and a script that cannot be read.
find_program(PROVE prove)
if(PROVE)
    file(WRITE ${scratch}/hash.txt "call \"10TRANMSG N \"\nexpect var 3 \"# TODO later\"\n")
    file(WRITE ${scratch}/backslash.txt "call \"10TRANMSG N \"\nexpect var 3 \"x\\\\\"\nexpect var 3 \"\\\\# SKIP\"\n")
    file(WRITE ${scratch}/typo3.txt "call \"10TRANMSG N \"\nexpect result 0\ncal \"x\"\n")
    file(WRITE ${scratch}/unexpected.txt "call \"21DICOUNT I         33 \"\nexpect result 0\n")
    foreach(run_case
            "0;one.txt" "1;failing.txt" "1;hash.txt" "1;backslash.txt" "2;typo3.txt"
            "2;--stream;typo3.txt" "1;unexpected.txt" "2;one.txt;missing.txt"
            "0;one.txt;--junit;${scratch}/tap.xml" "2;--stream;errors.txt")
        list(GET run_case 0 status)
        list(SUBLIST run_case 1 -1 run_args)
        list(TRANSFORM run_args PREPEND ${scratch}/ REGEX "\\.txt$")
        execute_process(COMMAND ${EMULATOR} ${TOOL} run --tap ${run_args}
            OUTPUT_FILE ${scratch}/run.tap ERROR_VARIABLE ignored RESULT_VARIABLE rc)
        execute_process(COMMAND ${PROVE} -e cat ${scratch}/run.tap
            OUTPUT_VARIABLE verdict ERROR_VARIABLE verdict RESULT_VARIABLE prove_rc)
        file(READ ${scratch}/run.tap tap)
        if(NOT rc STREQUAL status)
            message(FATAL_ERROR "run --tap ${run_args}: exit status ${rc}, expected ${status}\n${tap}")
        endif()
        if((rc EQUAL 0) AND NOT (prove_rc EQUAL 0) OR NOT (rc EQUAL 0) AND (prove_rc EQUAL 0))
            message(FATAL_ERROR "run --tap ${run_args} exits ${rc}, but prove says:\n${verdict}\n${tap}")
        endif()
        if(NOT rc EQUAL 0 AND NOT verdict MATCHES "Result: FAIL")
            message(FATAL_ERROR "prove on run --tap ${run_args}:\n${verdict}")
        endif()
    endforeach()
    # A script error: TAP ends with Bail out! and the reason, whether found before the run or
    # reached while streaming, after the test points that ran.
    check(2 ARGS run --tap ${scratch}/typo3.txt HOLDS "\nBail out! " "typo3.txt:3:1: unknown directive \"cal\"" LACKS "ok 1")
    check(2 ARGS run --tap --stream ${scratch}/typo3.txt HOLDS "\nok 1 - " "\nBail out! " "typo3.txt:3:1: script error: unknown directive" LACKS "1..1")
    check(1 ARGS run --tap ${scratch}/hash.txt HOLDS "not ok 1 - " "expect var 3 \"\\# TODO later\"\n")
endif()

# JUnit XML and JSON, read back with Python's standard parsers.
if(PYTHON)
    set(formats ${CMAKE_CURRENT_LIST_DIR}/check_formats.py)
    check(1 ARGS run --trace-on-failure --junit ${scratch}/results.xml ${scratch}/failing.txt ${scratch}/one.txt)
    # A report that cannot be written is an error before any script runs.
    check(2 ARGS run --junit ${scratch}/no-such-folder/results.xml ${scratch}/one.txt
        HOLDS "cannot write the JUnit report" LACKS "=> ")
    execute_process(COMMAND ${PYTHON} ${formats} junit ${scratch}/results.xml 3 1
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "failing.txt:5: expect result 7: expected result 7, found 0 \\(last call: line 3: call \"21INTMATH   02  \\+   03 \"\\)\n  _ReadUserVariable")
        message(FATAL_ERROR "run --junit:\n${out}")
    endif()
    function(check_json kind count wanted)
        execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} OUTPUT_FILE ${scratch}/out.json
            RESULT_VARIABLE rc)
        execute_process(COMMAND ${PYTHON} ${formats} json ${scratch}/out.json ${kind} ${count}
            RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        string(FIND "${out}" "${wanted}" at)
        if(NOT rc EQUAL 0 OR at EQUAL -1)
            message(FATAL_ERROR "opkit-host ${ARGN}: lacks \"${wanted}\":\n${out}")
        endif()
    endfunction()
    check_json(explain 2
        "function=CMP_INT notice=None warnings=unread-column,unread-column\nfields=left:3,relation:'E',relation2:-,right:4,mode:'S'"
        explain --json "${shifted}" "05HELLO${esc}\t\"")
    check_json(explain 2 "function=None notice=M1" explain --json "${shifted}" "05HELLO${esc}\t\"")
    check_json(call 2 "function=INTMATH notice=None warnings=\nresult=0 screen_rows=20 changes=var 1 = \"42\""
        call --json "21INTMATH   02  +   03 " "05HELLO" --set 2=40 --set 3=2)
    check_json(call 2 "function=None notice=M1" call --json "21INTMATH   02  +   03 " "05HELLO")
endif()

# -q leaves out an echoed heading that nothing follows, and keeps one over a failure.
file(WRITE ${scratch}/sections.txt [=[
echo "-- section one --"
call "10TRANMSG N "
echo "-- section two --"
call "10TRANMSG N "
expect result 5
]=])
check(1 ARGS run -q ${scratch}/sections.txt HOLDS "-- section two --\n" "FAIL expect result 5"
    LACKS "section one")
check(1 ARGS run ${scratch}/sections.txt HOLDS "-- section one --" "-- section two --")

# Screen files: missing, written by --update-screens, then compared row by row with a diff.
file(REMOVE ${scratch}/box.screen)
file(WRITE ${scratch}/box.txt "call \"23POPUPWN C     02      R\"\nexpect screen \"box.screen\" attributes\n")
check(1 ARGS run ${scratch}/box.txt HOLDS "cannot read the screen file" "--update-screens writes it")
# A screen file that is a folder, or one in a missing folder: the reason, never a pass.
file(MAKE_DIRECTORY ${scratch}/box.screen)
check(1 ARGS run ${scratch}/box.txt HOLDS "cannot read the screen file" "box.screen: it is a folder"
    LACKS "update-screens writes it")
check(1 ARGS run --update-screens ${scratch}/box.txt
    HOLDS "cannot write the screen file" "box.screen: it is a folder")
file(REMOVE_RECURSE ${scratch}/box.screen)
file(WRITE ${scratch}/nowhere.txt "call \"10TRANMSG N \"\nexpect screen \"no/such/dir.screen\"\n")
check(1 ARGS run --update-screens ${scratch}/nowhere.txt
    HOLDS "cannot write the screen file" "no/such/dir.screen: ")
check(0 ARGS run --update-screens ${scratch}/box.txt HOLDS "wrote the screen file")
file(READ ${scratch}/box.screen picture)
if(NOT picture MATCHES "^\n  \\+----------------------\\+\n  \\|   *\\|\n.*~~ attributes ~~\n\n001111")
    message(FATAL_ERROR "the screen file holds:\n${picture}")
endif()
check(0 ARGS run ${scratch}/box.txt HOLDS "1 expectation passed")
string(REPLACE "|                      |" "|  Changed!            |" picture "${picture}")
file(WRITE ${scratch}/box.screen "${picture}")
check(1 ARGS run ${scratch}/box.txt
    HOLDS "screen row  2: expected |  |  Changed!            ||\n                     found    |  |                      ||\n                                    ^"
    LACKS "screen row  1:" "attribute row")

# An error is said once, with its exit status; a command that goes on with its other inputs
# says the error of the one it could not read and still reports the others.
function(said_once text)
    string(FIND "${last_output}" "${text}" first)
    string(FIND "${last_output}" "${text}" last REVERSE)
    if(first EQUAL -1 OR NOT first EQUAL last)
        message(FATAL_ERROR "\"${text}\" is not said exactly once:\n${last_output}")
    endif()
endfunction()
set(examples ${CMAKE_CURRENT_LIST_DIR}/../../examples)
check(2 ARGS lint ${scratch}/missing.tbl ${examples}/tables/records.tbl
    HOLDS "in 1 table: nothing found")
said_once("missing.tbl: error: cannot read the table: ")
check(2 ARGS run ${scratch}/missing.txt ${examples}/demo.txt)
said_once("missing.txt: error: cannot read the script: ")
check(2 ARGS --plugin ${scratch}/none.so call "10TRANMSG N ")
said_once("opkit-host: cannot load the plug-in: ")
check(2 ARGS --plugin ${scratch}/none.so run --junit ${scratch}/none.xml ${examples}/demo.txt)
said_once("opkit-host: cannot load the plug-in: ")
file(READ ${scratch}/none.xml report)
if(NOT report MATCHES "cannot load the plug-in")
    message(FATAL_ERROR "the JUnit report does not say why the script did not run:\n${report}")
endif()
check(2 ARGS call "10TRANMSG N " --clock "2026-13-01 00:00:00")
said_once("--clock must be YYYY-MM-DD HH:MM:SS")
check(2 ARGS compose DICOUNT operation=X counter=1 HOLDS "DICOUNT fields:")
said_once("operation=X: not accepted")
# Without a terminal the shell refuses to start, whether or not this build has one.
check(2 ARGS shell)
if(NOT last_output MATCHES "^opkit-host: (shell needs a terminal|this build has no full-screen view)")
    message(FATAL_ERROR "shell without a terminal said:\n${last_output}")
endif()
