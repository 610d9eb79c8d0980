# opkit-host in CI, tried as a new user would: every output read back, a red run never read
# as green, nothing the tool is given overwritten, inputs that are not what they seem refused
# with a reason, and the examples in the help texts as good as they say.

include(${CMAKE_CURRENT_LIST_DIR}/check.cmake)

set(scratch ${CMAKE_CURRENT_BINARY_DIR}/opkit-host-fool)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
set(examples ${CMAKE_CURRENT_LIST_DIR}/../../examples)
file(WRITE ${scratch}/one.txt "call \"10TRANMSG N \"\nexpect result 0\n")
file(WRITE ${scratch}/two.txt "call \"10TRANMSG Y \"\nexpect result 1\n")
file(WRITE ${scratch}/typo.txt "call \"10TRANMSG N \"\nexpect result 0\ncal \"x\"\n")

# --- JUnit: the counts against the run, for a green run, a red one and a script error; never
# an old report left standing.
if(PYTHON)
    set(formats ${CMAKE_CURRENT_LIST_DIR}/check_formats.py)
    function(check_junit file)
        execute_process(COMMAND ${PYTHON} ${formats} junit ${file} ${ARGN}
            RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "JUnit ${file} (${ARGN}):\n${out}")
        endif()
        set(junit_text "${out}" PARENT_SCOPE)
    endfunction()
    check(0 ARGS run --junit ${scratch}/r.xml ${scratch}/one.txt)
    check_junit(${scratch}/r.xml 1 0 0 0)
    check(1 ARGS run --junit ${scratch}/r.xml ${scratch}/one.txt ${scratch}/two.txt)
    check_junit(${scratch}/r.xml 2 1 0 0)
    if(NOT junit_text MATCHES "expectation: [^\n]*two.txt:2: expect result 1: expected result 1, found 0 \\(last call: line 1: call \"10TRANMSG Y \"\\)")
        message(FATAL_ERROR "the failure does not name its line and call:\n${junit_text}")
    endif()
    # The green report of before is replaced by one with the script error, its line and column,
    # and the scripts that were fine reported as not run.
    check(0 ARGS run --junit ${scratch}/r.xml ${scratch}/one.txt)
    check(2 ARGS run --junit ${scratch}/r.xml ${scratch}/one.txt ${scratch}/typo.txt)
    check_junit(${scratch}/r.xml 2 0 1 1)
    if(NOT junit_text MATCHES "script error: [^\n]*typo.txt:3:1: unknown directive \"cal\"; did you mean call\\?")
        message(FATAL_ERROR "the script error lacks its place or message:\n${junit_text}")
    endif()
    check(2 ARGS run --stream --junit ${scratch}/r.xml ${scratch}/typo.txt)
    check_junit(${scratch}/r.xml 2 0 1 0)
    check(2 ARGS run --junit ${scratch}/r.xml ${scratch}/missing.txt)
    check_junit(${scratch}/r.xml 1 0 1 0)
    # run --json: an object per script, read back.
    execute_process(COMMAND ${EMULATOR} ${TOOL} run --json ${scratch}/one.txt ${scratch}/two.txt
        OUTPUT_FILE ${scratch}/run.json RESULT_VARIABLE rc)
    execute_process(COMMAND ${PYTHON} ${formats} runjson ${scratch}/run.json 2 1
        RESULT_VARIABLE prc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 1 OR NOT prc EQUAL 0 OR NOT out MATCHES "two.txt:2: FAIL expect result 1\ncall line 1 result 0 notice None")
        message(FATAL_ERROR "run --json (status ${rc}):\n${out}")
    endif()
endif()

# --- Nothing the user gave is overwritten: a report's name forgotten, a report over a script or
# the plug-in, a screen file over the script.
file(COPY ${examples}/timestamp.txt ${examples}/counter_loop.txt DESTINATION ${scratch}/forgot)
file(READ ${scratch}/forgot/timestamp.txt before)
check(2 DIR ${scratch}/forgot ARGS run -q --junit counter_loop.txt timestamp.txt
    HOLDS "--junit counter_loop.txt is refused: it exists and is not a JUnit report" LACKS "passed")
check(2 ARGS run --junit ${scratch}/one.txt ${scratch}/one.txt HOLDS "is refused: it is one of the inputs")
file(READ ${scratch}/forgot/counter_loop.txt after)
file(READ ${examples}/counter_loop.txt original)
if(NOT after STREQUAL original)
    message(FATAL_ERROR "the script named by --junit was changed")
endif()
file(WRITE ${scratch}/self.txt "call \"10TRANMSG N \"\nexpect screen \"self.txt\"\n")
check(1 ARGS run --update-screens ${scratch}/self.txt
    HOLDS "cannot write the screen file" "self.txt: it is " "never overwritten")
string(ASCII 1 soh)
file(WRITE ${scratch}/notes.screen "my notes${soh}\n")
file(WRITE ${scratch}/notes.txt "call \"10TRANMSG N \"\nexpect screen \"notes.screen\"\n")
check(1 ARGS run --update-screens ${scratch}/notes.txt HOLDS "it exists and is not a screen file")

# --- Inputs that are not what they seem.
check(2 ARGS run - - INPUT ${scratch}/one.txt HOLDS "standard input (-) is named more than once")
check(0 ARGS run ${scratch}/one.txt --rows 16 -v HOLDS "1 expectation passed")
check(0 ARGS call "10TRANMSG N " --columns 30 HOLDS "|                              |")
check(2 ARGS run ${scratch}/one.txt --rows 0 HOLDS "--rows")
string(ASCII 27 esc)
file(WRITE ${scratch}/esc.txt "call \"10TRANMSG N \"\nexpect var 3 \"a${esc}[31mred\"\necho \"x${esc}[2Jy\"\n")
# (No [ in these texts: CMake lists do not split inside brackets.)
check(1 ARGS --color never run ${scratch}/esc.txt
    HOLDS "FAIL expect var 3 \"a\\x1B" "x\\x1B" LACKS "${esc}")
check(1 ARGS --color always run ${scratch}/esc.txt HOLDS "x\\x1B" LACKS "${esc}[2J")
check(1 ARGS --color always run ${scratch}/esc.txt HOLDS "x\\x1B" LACKS "${esc}[31mred")
file(WRITE ${scratch}/ansi.screen "${esc}[41mRED${esc}[0m\n")
file(WRITE ${scratch}/ansi.txt "call \"10TRANMSG N \"\nexpect screen \"ansi.screen\"\n")
check(1 ARGS --color always run ${scratch}/ansi.txt HOLDS "ansi.screen: it is not a screen file" LACKS "${esc}[41m")
check(1 ARGS --color never run ${scratch}/ansi.txt LACKS "${esc}")
if(NOT EMULATOR AND EXISTS /dev/zero)
    # Unbounded input is refused with its name and the limit, never an abort or a hang.
    check(2 ARGS run /dev/zero HOLDS "/dev/zero:1: error: the line is longer than 65536 bytes" LACKS "bad_alloc")
    check(2 ARGS lint /dev/zero HOLDS "/dev/zero:1: error: the line is longer than 65536 bytes")
    check(2 ARGS run --stream /dev/zero HOLDS "line 1 is longer than 65536 bytes")
    file(CREATE_LINK /dev/zero ${scratch}/zero.screen SYMBOLIC)
    file(WRITE ${scratch}/zero.txt "call \"10TRANMSG N \"\nexpect screen \"zero.screen\"\n")
    check(1 ARGS run ${scratch}/zero.txt HOLDS "larger than 1048576 bytes, the most a screen file may hold")
    # A NUL in a script line is shown escaped and cuts no message short.
    file(WRITE ${scratch}/nul.txt "")
    execute_process(COMMAND printf "fo\\000o x\\n" OUTPUT_FILE ${scratch}/nul.txt)
    check(2 ARGS run ${scratch}/nul.txt HOLDS "unknown directive \"fo\\x00o\" (directives:")
    # Output that cannot be written fails with the system's reason: a full disk, a closed
    # standard output.
    foreach(cmd "run --tap ${examples}/demo.txt" "call \"10TRANMSG N \"" "explain --json \"10TRANMSG N \""
            "lint ${examples}/tables/records.tbl" "compose CMP_INT left=3 relation=GE right=4 mode=S")
        separate_arguments(cmd_args UNIX_COMMAND "${cmd}")
        execute_process(COMMAND ${TOOL} ${cmd_args} OUTPUT_FILE /dev/full ERROR_VARIABLE err RESULT_VARIABLE rc)
        if(NOT rc EQUAL 2 OR NOT err MATCHES "cannot write to standard output: No space left on device")
            message(FATAL_ERROR "opkit-host ${cmd} >/dev/full: status ${rc}: ${err}")
        endif()
        execute_process(COMMAND sh -c "exec \"$0\" \"$@\" >&-" ${TOOL} ${cmd_args}
            ERROR_VARIABLE err RESULT_VARIABLE rc)
        if(NOT rc EQUAL 2 OR NOT err MATCHES "cannot write to standard output: Bad file descriptor")
            message(FATAL_ERROR "opkit-host ${cmd} >&-: status ${rc}: ${err}")
        endif()
    endforeach()
    check(2 ARGS run --junit /dev/full ${scratch}/one.txt
        HOLDS "/dev/full: error: cannot write the JUnit report: No space left on device")
endif()

string(REPEAT "x" 300 long_record)
check(2 ARGS explain "10${long_record}" HOLDS "a record is at most 256 characters, not 302")
check(2 ARGS call "10${long_record}" HOLDS "a record is at most 256 characters")

# --- Expectations off the screen are refused before the run, where the size is known.
file(WRITE ${scratch}/off.txt "call \"10TRANMSG N \"\nexpect attribute 30:0 0\nexpect attribute 0:200 0 50\nexpect screen 0:45 \"\"\nexpect screen 0:38 \"   \"\nexpect attribute 0:30 0 11\nexpect screen 25 \"\"\nshow screen 0-20\n")
check(2 ARGS run ${scratch}/off.txt
    HOLDS "off.txt:2:18: error: row must be 0 to 19, not 30" "off.txt:3:20: error: column must be 0 to 39, not 200"
          "off.txt:4:17: error: column must be 0 to 39, not 45" "off.txt:5:20: error: the text runs past the last column, 39"
          "off.txt:6:25: error: the cells run past the last column, 39" "off.txt:7:15: error: row must be 0 to 19, not 25"
          "off.txt:8:15: error: last row must be 0 to 19, not 20"
    LACKS "=> ")
check(0 ARGS --rows 40 --columns 250 run ${scratch}/off.txt HOLDS "6 expectations passed")

# --- Notices: a call that shows one fails unless an expect notice follows it; expectations
# about the last call need a call.
file(WRITE ${scratch}/notice.txt "call \"21DICOUNT I         33 \"\nexpect result 0\n")
check(1 ARGS run ${scratch}/notice.txt
    HOLDS "notice.txt:1: FAIL unexpected notice D2 from call \"21DICOUNT I         33 \"" "1 of 2 expectations FAILED")
check(0 ARGS run --allow-notices ${scratch}/notice.txt HOLDS "1 expectation passed")
file(WRITE ${scratch}/before.txt "expect notice none\ncall \"10TRANMSG N \"\n")
check(1 ARGS run ${scratch}/before.txt HOLDS "before.txt:1: FAIL expect notice none\n      no call has been made yet")

# --- lint judges a record as the plug-in receives it; a table without records is an error.
file(WRITE ${scratch}/blanks.tbl "  29CMP_INT   03  GE   04       S\n")
check(1 ARGS lint ${scratch}/blanks.tbl HOLDS "blanks.tbl:1:1: M1:")
check(2 ARGS lint ${scratch}/empty.tbl HOLDS "cannot read the table")
file(WRITE ${scratch}/empty.tbl "# nothing yet\n\n")
check(2 ARGS lint ${scratch}/empty.tbl HOLDS "empty.tbl: error: the table holds no record" LACKS "nothing found")
check(0 ARGS lint --allow-empty ${scratch}/empty.tbl HOLDS "0 records in 1 table: nothing found")

# --- Smaller points: one range for WAIT_UV's timeout, "did you mean", global options after
# the subcommand.
check(0 ARGS compose WAIT_UV variable=3 timeout=-1 HOLDS "22WAIT_UV     03      -1")
check(0 ARGS explain --strict "22WAIT_UV     03      -1" HOLDS "65535")
check(2 ARGS compose CMPINT left=3 HOLDS "did you mean CMP_INT?")
file(WRITE ${scratch}/mistyped.txt "call \"10TRANMSG N \"\nexepct result 0\nexpect reslt 0\n")
check(2 ARGS run ${scratch}/mistyped.txt HOLDS "did you mean expect?" "(did you mean result?)")

# --- Every record in the help texts, the README and the documents passes --strict, but the mistakes they show
# on purpose, which must fail it.
set(deliberate "29CMP_INT   03 GE   04        S" "28CMP_INT   03  GE   04      " "05HELLO"
    "21DICUONT I         05" "29CMP_INT   03 GE    04       S" "21DICOUNT I         33 "
    "30CMP_INT   03  GE   04       S")
set(texts "")
foreach(sub "" run call explain compose lint shell)
    execute_process(COMMAND ${EMULATOR} ${TOOL} ${sub} --help OUTPUT_VARIABLE help)
    string(APPEND texts "${help}")
endforeach()
file(GLOB documents ${CMAKE_CURRENT_LIST_DIR}/../../README.md ${CMAKE_CURRENT_LIST_DIR}/../../docs/*.md)
foreach(document IN LISTS documents)
    file(READ ${document} text)
    string(APPEND texts "${text}")
endforeach()
string(REGEX MATCHALL "\"[0-9][0-9][A-Za-z_][A-Za-z_][A-Za-z_][A-Za-z_][A-Za-z_][A-Za-z_][A-Za-z_][^\"]*\"" records "${texts}")
list(REMOVE_DUPLICATES records)
list(LENGTH records count)
if(count LESS 10)
    message(FATAL_ERROR "only ${count} records found in the help texts and the documents")
endif()
foreach(quoted IN LISTS records)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" record "${quoted}")
    list(FIND deliberate "${record}" on_purpose)
    if(on_purpose EQUAL -1)
        check(0 ARGS explain --strict "${record}")
    else()
        check(1 ARGS explain --strict "${record}")
    endif()
endforeach()
