# The Windows build (cmake/mingw-w64.cmake, scripts/windows): the program's
# own code over the real Win32 API, the audio layer over libraries built for
# this target (scripts/windows-deps), and the tools that make its data taken
# from a build for this machine (TONEBOX_HOST_BUILD), which also made the
# songs.

# Programs carry everything they need: no DLLs beside them.
add_link_options(-static)

# The libraries of TONEBOX_MINGW_PREFIXES, by their pkg-config files, as the
# same targets the Linux build uses; static, so with their own dependencies.
function(tonebox_static_package name module)
    pkg_check_modules(${name} REQUIRED ${module})
    # SDL's own entry point and its windowed-program flag are not ours.
    list(FILTER ${name}_STATIC_LDFLAGS EXCLUDE REGEX "^(-mwindows|-lSDL2main)$")
    add_library(PkgConfig::${name} INTERFACE IMPORTED GLOBAL)
    target_include_directories(PkgConfig::${name} INTERFACE ${${name}_STATIC_INCLUDE_DIRS})
    target_compile_options(PkgConfig::${name} INTERFACE ${${name}_STATIC_CFLAGS_OTHER})
    target_link_libraries(PkgConfig::${name} INTERFACE ${${name}_STATIC_LDFLAGS})
endfunction()

tonebox_static_package(SDL2 sdl2)
tonebox_static_package(OPENMPT libopenmpt)
tonebox_static_package(KISSFFT kissfft-float)
tonebox_static_package(SNDFILE sndfile)
find_package(Threads REQUIRED)

if(BUILD_TESTING)
    # GoogleTest from Debian's source (the googletest package), built here.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(target gtest gtest_main)
        target_compile_options(${target} PRIVATE -Wno-error)
    endforeach()
endif()

set(TONEBOX_HOST_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH
    "A build of this source for the build machine: its painter paints the skin")
add_executable(tonebox_painter IMPORTED)
set_target_properties(tonebox_painter PROPERTIES
    IMPORTED_LOCATION ${TONEBOX_HOST_BUILD}/tools/painter/tonebox_painter)

# The download: tonebox.exe (src/app) with the songs beside it in songs\.
install(DIRECTORY ${TONEBOX_SONG_DIR}/ DESTINATION songs)
