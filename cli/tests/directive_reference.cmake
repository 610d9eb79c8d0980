# The manual's directive reference, between its marker lines, is what the directive table
# prints. Says SKIPPED (which the test takes as a skip) while the manual does not exist.
if(NOT EXISTS ${MANUAL})
    message("SKIPPED: ${MANUAL} does not exist yet; nothing to compare the directive table with")
    return()
endif()
execute_process(COMMAND ${EMULATOR} ${GENERATOR} OUTPUT_VARIABLE table RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
string(REPLACE "\r" "" table "${table}") # a Windows build's line ends
file(READ ${MANUAL} manual)
set(begin "<!-- directives:begin -->\n")
set(end "<!-- directives:end -->")
string(FIND "${manual}" "${begin}" at_begin)
string(FIND "${manual}" "${end}" at_end)
if(at_begin EQUAL -1 OR at_end EQUAL -1 OR at_end LESS at_begin)
    message(FATAL_ERROR "${MANUAL} lacks the lines \"<!-- directives:begin -->\" and "
                        "\"<!-- directives:end -->\" around its directive reference")
endif()
string(LENGTH "${begin}" begin_length)
math(EXPR from "${at_begin} + ${begin_length}")
math(EXPR length "${at_end} - ${from}")
string(SUBSTRING "${manual}" ${from} ${length} section)
if(NOT section STREQUAL table)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/directive_reference.md "${table}")
    message(FATAL_ERROR "the directive reference in ${MANUAL} differs from the directive table; "
                        "run tools/update-docs.sh (the table's output is in "
                        "${CMAKE_CURRENT_BINARY_DIR}/directive_reference.md)")
endif()
