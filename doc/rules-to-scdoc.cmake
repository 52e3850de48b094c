# Writes OUTPUT: the scdoc page INPUT with its @RULES@ line replaced by every
# rule that `INX_CHECK --list-rules` prints, each with the examples that
# `INX_CHECK --explain RULE` prints, and its @FOLDERS@ line by what
# `INX_CHECK --list-folders` prints, so that the page shows the checker's own
# tables.
# Usage: cmake -DINX_CHECK=... -DINPUT=... -DOUTPUT=... -P rules-to-scdoc.cmake
execute_process(COMMAND ${INX_CHECK} --list-rules OUTPUT_VARIABLE listed
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${INX_CHECK} --list-rules failed")
endif()
# scdoc reads \, * and _ as markup.
string(REPLACE "\\" "\\\\" listed "${listed}")
string(REPLACE "*" "\\*" listed "${listed}")
string(REPLACE "_" "\\_" listed "${listed}")
string(REGEX REPLACE "\n$" "" listed "${listed}")
# A list's items are split at ';', which the texts hold too, but not between
# '[' and ']', which they hold unpaired.
string(REPLACE ";" "<semicolon>" listed "${listed}")
string(REPLACE "[" "<open>" listed "${listed}")
string(REPLACE "]" "<close>" listed "${listed}")
string(REPLACE "\n" ";" lines "${listed}")
# A rule's examples: what --explain prints after its first blank line, as a
# literal block (no markup, no list) under the rule.
function(append_examples rule)
    if(rule STREQUAL "")
        return()
    endif()
    execute_process(COMMAND ${INX_CHECK} --explain ${rule} OUTPUT_VARIABLE explained
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${INX_CHECK} --explain ${rule} failed")
    endif()
    string(FIND "${explained}" "\n\n" blank)
    math(EXPR blank "${blank} + 2")
    string(SUBSTRING "${explained}" ${blank} -1 examples)
    string(REGEX REPLACE "\n$" "" examples "${examples}")
    string(REPLACE "\\" "\\\\" examples "${examples}")
    string(REPLACE "\n" "\n\t" examples "${examples}")
    string(REPLACE ";" "<semicolon>" examples "${examples}")
    set(rules "${rules}\n\t```\n\t${examples}\n\t```\n" PARENT_SCOPE)
endfunction()

set(rules "")
set(rule "")
foreach(line IN LISTS lines)
    if(line MATCHES "^([a-z0-9-]+) +(error|warning) +(.*)$")
        append_examples("${rule}")
        set(rule ${CMAKE_MATCH_1})
        string(APPEND rules "\n*${CMAKE_MATCH_1}* (${CMAKE_MATCH_2}): ${CMAKE_MATCH_3}.\n")
    else()
        string(STRIP "${line}" text)
        if(text MATCHES "^(<open>|-)")
            set(text "\\${text}")  # to scdoc, a table or a list
        endif()
        string(APPEND rules "\t${text}\n")
    endif()
endforeach()
append_examples("${rule}")
string(REPLACE "<semicolon>" ";" rules "${rules}")
string(REPLACE "<open>" "[" rules "${rules}")
string(REPLACE "<close>" "]" rules "${rules}")
execute_process(COMMAND ${INX_CHECK} --list-folders OUTPUT_VARIABLE folders
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${INX_CHECK} --list-folders failed")
endif()
string(REGEX REPLACE "\n$" "" folders "${folders}")
string(REPLACE "\\" "\\\\" folders "${folders}")
string(REPLACE "\n" "\n\t" folders "${folders}")
file(READ ${INPUT} page)
string(REPLACE "@RULES@" "${rules}" page "${page}")
string(REPLACE "@FOLDERS@" "\t```\n\t${folders}\n\t```" page "${page}")
file(WRITE ${OUTPUT} "${page}")
