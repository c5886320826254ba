# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers (the
# -posix ones: std::thread and std::mutex need them). Tests and other
# programs built here run through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTONEBOX_MINGW_PREFIXES="dir;dir..."
# TONEBOX_MINGW_PREFIXES lists the install prefixes of the libraries built
# for this target (scripts/windows-deps); their pkg-config files are used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

# The variables a try_compile's nested project needs from this file.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TONEBOX_MINGW_PREFIXES)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet} ${TONEBOX_MINGW_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the target's own libraries, never the build
# machine's.
set(pc_dirs)
foreach(prefix ${TONEBOX_MINGW_PREFIXES})
    list(APPEND pc_dirs ${prefix}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" pc_path "${pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pc_path}")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
