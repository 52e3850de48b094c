# Windows tests run under Wine, in a fresh 32-bit prefix of their own that a
# setup test makes before any of them starts (parallel first starts race): a
# copy of the pristine prefix that the try tool uses too, made once per Wine
# version and locale.
set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_PREFIX_CACHE ${INX_TOOLS_CACHE}/wine-prefixes CACHE PATH
    "Where pristine Wine prefixes are kept, shared with tools/try.sh")
set(WINE_TEST_ENVIRONMENT
    WINEPREFIX=${WINE_TEST_PREFIX} WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    # The ANSI code page follows the locale: 1252 under C.UTF-8.
    LC_ALL=C.UTF-8)

add_test(NAME wine_prefix_create
         COMMAND ${PROJECT_SOURCE_DIR}/inx-try/wine/pristine-prefix.sh ${WINE_PREFIX_CACHE}
                 ${WINE_TEST_PREFIX})
set_tests_properties(wine_prefix_create PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
add_test(NAME wine_prefix_stop
         COMMAND ${PROJECT_SOURCE_DIR}/inx-try/wine/stop-prefix.sh ${WINE_TEST_PREFIX})
set_tests_properties(wine_prefix_stop PROPERTIES
    FIXTURES_CLEANUP wine_prefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
add_test(NAME wine_runner
         COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run-program-test.sh
                 ${PROJECT_SOURCE_DIR}/tools/wine/run-program.sh)
# CTest starts what other tests wait for first: clang-tidy, the longest test,
# is made one such (the prefix is stopped last anyway), so that it starts at
# once beside the Wine tests instead of after them.
if(INSTALL_STATIC_ANALYSIS)
    set_tests_properties(wine_prefix_stop PROPERTIES DEPENDS clang_tidy)
endif()

# Runs a Windows test program through the emulator inside the test prefix.
# Wine adds CR before LF in the output; the program's exit code decides.
# The program is the target `name` unless PROGRAM names another. Arguments,
# further fixtures, environment entries and locks may follow ARGS, FIXTURES,
# ENVIRONMENT and RESOURCE_LOCK.
#
# WINE_TEST_PROGRAM_DIR, when set, names a folder of test programs built by
# another (GCC) tree: clang 14 calls libstdc++'s member functions with a
# different i686 MinGW ABI (LLVM issue 58255), so clang-built test programs
# are built to prove they compile cleanly, but only the tests that check
# install.exe (CHECKS_PROGRAM) run, from that folder, against this tree's
# install.exe, which uses no libstdc++ code.
function(add_wine_test name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG
        "CHECKS_PROGRAM" "PROGRAM" "ARGS;FIXTURES;ENVIRONMENT;RESOURCE_LOCK")
    if(NOT ARG_PROGRAM)
        set(ARG_PROGRAM ${name})
    endif()
    if(WINE_TEST_PROGRAM_DIR)
        if(NOT ARG_CHECKS_PROGRAM)
            return()
        endif()
        add_test(NAME ${name}
                 COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${WINE_TEST_PROGRAM_DIR}/${ARG_PROGRAM}.exe ${ARG_ARGS})
    else()
        add_test(NAME ${name} COMMAND ${ARG_PROGRAM} ${ARG_ARGS})
    endif()
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED "wine_prefix;${ARG_FIXTURES}"
        ENVIRONMENT "${WINE_TEST_ENVIRONMENT};${ARG_ENVIRONMENT}"
        RESOURCE_LOCK "${ARG_RESOURCE_LOCK}" TIMEOUT 600
        FAIL_REGULAR_EXPRESSION "0 tests from 0 test suites ran")
endfunction()

# A fixture `name` that makes a folder afresh before each run and runs the
# shell command `setup` inside it; sets `name` to the folder's path.
function(add_prepared_folder name setup)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${name})
    add_test(NAME ${name}_prepare COMMAND sh -c
        "rm -rf '${folder}' && mkdir -p '${folder}' && cd '${folder}' && ${setup}")
    set_tests_properties(${name}_prepare PROPERTIES FIXTURES_SETUP ${name})
    set(${name} ${folder} PARENT_SCOPE)
endfunction()

# A fixture `name` for a prefix of its own whose ANSI code page is that of
# `locale` (see create-locale-prefix.sh); sets `name` to the environment that
# runs a test in it.
function(add_locale_prefix name locale)
    set(prefix ${CMAKE_BINARY_DIR}/${name})
    set(locales ${CMAKE_BINARY_DIR}/locales)
    add_test(NAME ${name}_create
             COMMAND ${PROJECT_SOURCE_DIR}/tools/wine/create-locale-prefix.sh
                     ${prefix} ${locales} ${locale} ${WINE_PREFIX_CACHE})
    add_test(NAME ${name}_stop COMMAND ${PROJECT_SOURCE_DIR}/inx-try/wine/stop-prefix.sh ${prefix})
    set_tests_properties(${name}_create PROPERTIES FIXTURES_SETUP ${name})
    set_tests_properties(${name}_stop PROPERTIES FIXTURES_CLEANUP ${name})
    set(${name} WINEPREFIX=${prefix} LOCPATH=${locales} LC_ALL=${locale}.UTF-8 PARENT_SCOPE)
endfunction()

# A fixture `name` for a 64-bit (WoW64) prefix of its own, in which the 32-bit
# test programs run as on 64-bit Windows; sets `name` to the environment that
# runs a test in it.
function(add_wow64_prefix name)
    set(prefix ${CMAKE_BINARY_DIR}/${name})
    add_test(NAME ${name}_create
             COMMAND ${PROJECT_SOURCE_DIR}/inx-try/wine/pristine-prefix.sh ${WINE_PREFIX_CACHE}
                     ${prefix})
    add_test(NAME ${name}_stop COMMAND ${PROJECT_SOURCE_DIR}/inx-try/wine/stop-prefix.sh ${prefix})
    set_tests_properties(${name}_create PROPERTIES FIXTURES_SETUP ${name}
        ENVIRONMENT "${WINE_TEST_ENVIRONMENT};WINEARCH=win64")
    set_tests_properties(${name}_stop PROPERTIES FIXTURES_CLEANUP ${name})
    set(${name} WINEPREFIX=${prefix} WINEARCH=win64 PARENT_SCOPE)
endfunction()
