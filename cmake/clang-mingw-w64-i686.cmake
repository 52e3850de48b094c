# 32-bit Windows programs from clang, with the MinGW-w64 i686 headers and
# libraries (the posix thread model's libstdc++, as in the GCC build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_TRIPLET i686-w64-mingw32)
file(GLOB MINGW_GCC_LIBRARY_DIR LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLET}/*-posix)
if(NOT MINGW_GCC_LIBRARY_DIR)
    message(FATAL_ERROR "No MinGW-w64 GCC (posix threads) under /usr/lib/gcc/${MINGW_TRIPLET}")
endif()

set(CMAKE_SYSROOT /usr/${MINGW_TRIPLET})
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# clang does not find MinGW's libstdc++ and libgcc by itself.
set(libstdcxx ${MINGW_GCC_LIBRARY_DIR}/include/c++)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${libstdcxx} ${libstdcxx}/${MINGW_TRIPLET} ${libstdcxx}/backward)
# -B makes it take GCC's crtbegin.o, which registers the DWARF unwind tables
# (without it no exception is ever caught); -pthread puts winpthread inside
# the driver's library group, after libgcc_eh. lld, unlike GNU ld, accepts
# clang's and GCC's type names side by side without a warning.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-B${MINGW_GCC_LIBRARY_DIR} -L${MINGW_GCC_LIBRARY_DIR} -pthread -fuse-ld=lld")
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${CMAKE_EXE_LINKER_FLAGS_INIT})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
