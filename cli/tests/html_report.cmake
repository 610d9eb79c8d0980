# run --html end to end: the page written for a red run, a green one and a script in error;
# nothing the run reads or that is not a report of ours overwritten; a page that cannot be
# written is an error. What a browser makes of the page is checked by browser_report.sh.

include(${CMAKE_CURRENT_LIST_DIR}/check.cmake)

set(scratch ${CMAKE_CURRENT_BINARY_DIR}/opkit-host-html)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
file(WRITE ${scratch}/one.txt "call \"10TRANMSG N \"\nexpect result 0\n")
file(WRITE ${scratch}/two.txt "call \"10TRANMSG Y \"\nexpect result 1\n")
file(WRITE ${scratch}/typo.txt "call \"10TRANMSG N \"\nexpect result 0\ncal \"x\"\n")
set(page ${scratch}/report.html)

function(page_holds)
    file(READ ${page} text)
    foreach(wanted IN LISTS ARGN)
        string(FIND "${text}" "${wanted}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${page} lacks \"${wanted}\":\n${text}")
        endif()
    endforeach()
endfunction()

# A red run: its counts and its failure; then a green run replaces the page.
check(1 ARGS run -q --html ${page} ${scratch}/one.txt ${scratch}/two.txt)
page_holds("<title>opkit-host run: FAILED" "id=\"count-scripts\">2<" "id=\"count-calls\">2<"
    "id=\"count-passed\">1<" "id=\"count-failed\"><span class=\"fail\">1<"
    "<a href=\"#failure-1\">" "id=\"failure-1\"" "expected result 1, found 0")
check(0 ARGS run -q --html ${page} ${scratch}/one.txt)
page_holds("<p class=\"verdict pass\">passed</p>" "id=\"count-failed\">0<")

# A script in error: the run stops before any script runs, and the page says where.
check(2 ARGS run -q --html ${page} ${scratch}/one.txt ${scratch}/typo.txt)
page_holds("typo.txt:3:1" "line 3, column 1" "unknown directive &quot;cal&quot;"
    "id=\"count-errors\"><span class=\"fail\">1<" "not run")
# With --stream the scripts before it run, and the one in error up to its error.
check(2 ARGS run -q --stream --html ${page} ${scratch}/two.txt ${scratch}/typo.txt)
page_holds("id=\"count-calls\">2<" "id=\"count-failed\"><span class=\"fail\">1<" "typo.txt:3:1")

# Markup in a record, a variable and on the screen shows as text.
file(WRITE ${scratch}/markup.txt
    "set 3 \"<b>&amp;\"\nwrite 2 0 \"<script>alert(1)</script>\"\ncall \"05<script>&\"\n"
    "expect notice M1\nexpect screen 2 \"<i>\"\n")
check(1 ARGS run -q --html ${page} ${scratch}/markup.txt)
file(READ ${page} text)
string(TOLOWER "${text}" lower)
if(lower MATCHES "<script" OR lower MATCHES "<b>" OR lower MATCHES "<i>")
    message(FATAL_ERROR "markup from the script reached the page as markup:\n${text}")
endif()
page_holds("&lt;script&gt;alert(1)&lt;/script&gt;" "05&lt;script&gt;&amp;"
    "expect screen 2 &quot;&lt;i&gt;&quot;")

# Refused, and left as they were: a script, the plug-in, a file that is no report of ours, the
# JUnit report's file, a folder, standard output.
file(WRITE ${scratch}/notes.html "<!DOCTYPE html>\n<p>my notes</p>\n")
foreach(target one.txt notes.html)
    file(READ ${scratch}/${target} before)
    check(2 DIR ${scratch} ARGS run --html ${target} one.txt HOLDS "--html ${target} is refused")
    file(READ ${scratch}/${target} after)
    if(NOT before STREQUAL after)
        message(FATAL_ERROR "run --html overwrote ${target}")
    endif()
endforeach()
check(2 DIR ${scratch} ARGS run --html ${PLUGIN} one.txt HOLDS "is refused" "never overwritten")
check(2 DIR ${scratch} ARGS run --junit r.xml --html ./r.xml one.txt
    HOLDS "it is the JUnit report's file too")
check(2 DIR ${scratch} ARGS run --html ${scratch} one.txt HOLDS "it is a folder")
check(2 DIR ${scratch} ARGS run --html - one.txt HOLDS "not to standard output")

# A page that cannot be written is an error, like the other reports.
check(2 ARGS run -q --html ${scratch}/no/such/folder/r.html ${scratch}/one.txt
    HOLDS "cannot write the HTML report")
