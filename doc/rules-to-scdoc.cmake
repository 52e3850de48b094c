# Writes OUTPUT: the scdoc page INPUT with its @RULES@ line replaced by every
# rule that `INX_CHECK --list-rules` prints, so that the page lists the
# checker's own rule table.
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
# A list's items are split at ';', which the texts hold too.
string(REPLACE ";" "<semicolon>" listed "${listed}")
string(REPLACE "\n" ";" lines "${listed}")
set(rules "")
foreach(line IN LISTS lines)
    if(line MATCHES "^([a-z0-9-]+) +(error|warning) +(.*)$")
        string(APPEND rules "\n*${CMAKE_MATCH_1}* (${CMAKE_MATCH_2}): ${CMAKE_MATCH_3}.\n")
    else()
        string(STRIP "${line}" text)
        string(APPEND rules "\t${text}\n")
    endif()
endforeach()
string(REPLACE "<semicolon>" ";" rules "${rules}")
file(READ ${INPUT} page)
string(REPLACE "@RULES@" "${rules}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
