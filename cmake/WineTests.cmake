# Windows tests run under Wine, in a fresh 32-bit prefix of their own that a
# setup test creates before any of them starts (parallel first starts race).
set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_TEST_ENVIRONMENT
    WINEPREFIX=${WINE_TEST_PREFIX} WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)

add_test(NAME wine_prefix_create
         COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/create-prefix.sh ${WINE_TEST_PREFIX})
set_tests_properties(wine_prefix_create PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
add_test(NAME wine_prefix_stop COMMAND sh -c "${WINESERVER_PROGRAM} -k || true")
set_tests_properties(wine_prefix_stop PROPERTIES
    FIXTURES_CLEANUP wine_prefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")

# Runs a Windows test program through the emulator inside the test prefix.
# Wine adds CR before LF in the output; the program's exit code decides.
# Further fixtures and environment entries may follow FIXTURES and ENVIRONMENT.
function(add_wine_test name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "FIXTURES;ENVIRONMENT")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED "wine_prefix;${ARG_FIXTURES}"
        ENVIRONMENT "${WINE_TEST_ENVIRONMENT};${ARG_ENVIRONMENT}"
        FAIL_REGULAR_EXPRESSION "0 tests from 0 test suites ran")
endfunction()

# A fixture `name` that makes a folder whose install.inf leads to a full
# device, afresh before each run; sets `name` to the folder's path.
function(add_full_disk_folder name)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${name})
    add_test(NAME ${name}_prepare COMMAND sh -c
        "rm -rf '${folder}' && mkdir -p '${folder}' && ln -s /dev/full '${folder}/install.inf'")
    set_tests_properties(${name}_prepare PROPERTIES FIXTURES_SETUP ${name})
    set(${name} ${folder} PARENT_SCOPE)
endfunction()
