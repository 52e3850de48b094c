# Static analysis of the project's own code as tests: clang-tidy (its rules in
# .clang-tidy) over every file that this tree compiles, cppcheck, and a check
# that the code follows .clang-format.
find_program(CLANG_TIDY_PROGRAM NAMES clang-tidy-14 clang-tidy REQUIRED)
find_program(CPPCHECK_PROGRAM cppcheck REQUIRED)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

# clang-tidy over the project's own sources, each skipped when its exact
# input was found clean before (cached-clang-tidy.py). A cross-compiling
# tree leaves to the native tree named here what that tree compiles the same
# way: it sees only its own platform's sources.
set(own_sources "^${PROJECT_SOURCE_DIR}/(script|launcher|inx-check|automation|tests|bench)/")
set(NATIVE_COMPILE_COMMANDS "" CACHE FILEPATH "The native tree's compile_commands.json")
set(native_option "")
if(CMAKE_CROSSCOMPILING AND NATIVE_COMPILE_COMMANDS)
    set(native_option --native ${NATIVE_COMPILE_COMMANDS})
endif()
# At a lower priority than the Wine tests beside it, which wait on Wine.
add_test(NAME clang_tidy
         COMMAND nice -n 10 python3 ${PROJECT_SOURCE_DIR}/cmake/cached-clang-tidy.py
                 ${CLANG_TIDY_PROGRAM} ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${own_sources}
                 ${native_option})
# The longest test: started first, beside the rest. With nothing cached and
# another job using a core, it took more than 900 s in each of two trees.
set_tests_properties(clang_tidy PROPERTIES TIMEOUT 2700 COST 10000)

# cppcheck reads the sources themselves, every platform's at once, without
# the system headers (which it is not meant to parse): one run, natively.
if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME cppcheck
             COMMAND ${CPPCHECK_PROGRAM} --std=c++17 -I ${PROJECT_SOURCE_DIR}
                     --library=googletest --library=posix --library=windows
                     --enable=warning,performance,portability --inline-suppr
                     --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j 2
                     # Generated tables, no code: half of cppcheck's time.
                     -i ${PROJECT_SOURCE_DIR}/inx-check/reader/CodePageTables.cpp
                     ${PROJECT_SOURCE_DIR}/script ${PROJECT_SOURCE_DIR}/launcher
                     ${PROJECT_SOURCE_DIR}/inx-check ${PROJECT_SOURCE_DIR}/automation
                     ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/bench)
    set_tests_properties(cppcheck PROPERTIES TIMEOUT 900)

    find_program(CLANG_FORMAT_PROGRAM NAMES clang-format-14 clang-format REQUIRED)
    file(GLOB_RECURSE formatted_sources CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/script/*.cpp ${PROJECT_SOURCE_DIR}/script/*.h
         ${PROJECT_SOURCE_DIR}/launcher/*.cpp ${PROJECT_SOURCE_DIR}/launcher/*.h
         ${PROJECT_SOURCE_DIR}/inx-check/*.cpp ${PROJECT_SOURCE_DIR}/inx-check/*.h
         ${PROJECT_SOURCE_DIR}/automation/*.cpp ${PROJECT_SOURCE_DIR}/automation/*.h
         ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
         ${PROJECT_SOURCE_DIR}/bench/*.cpp)
    add_test(NAME clang_format
             COMMAND ${CLANG_FORMAT_PROGRAM} --dry-run --Werror ${formatted_sources})
endif()
