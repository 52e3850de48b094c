# add_man_page(OUTPUT SOURCE): builds the man page OUTPUT (a path in the
# build tree, such as .../inx-try.1) from the scdoc page SOURCE, and installs
# it in section 1.
find_program(SCDOC_PROGRAM scdoc REQUIRED)
function(add_man_page output source)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "'${SCDOC_PROGRAM}' < '${source}' > '${output}'"
        DEPENDS ${source} VERBATIM)
    get_filename_component(name ${output} NAME)
    add_custom_target(man_page_${name} ALL DEPENDS ${output})
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
