# A Debian package of what `cmake --install` installs: `cpack -G DEB` in the
# build folder (scripts/package configures a build for /usr and makes it);
# in the Windows build, a zip (scripts/windows).
# The package installs under the prefix the build was configured with, so
# that the desktop entry's paths, made at configure time, are the package's.
set(CPACK_PACKAGE_NAME tonebox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tonebox maintainers <maintainers@tonebox.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music disk of forty chip tunes in a skinned window")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "tonebox plays a compiled-in playlist of forty tracker modules (MOD, XM\n"
    "and IT) in a small frameless, translucent window with a spectrum analyser,\n"
    "oscilloscopes, a scrolling credits line, a playlist, transport buttons and\n"
    "a volume knob.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # The Windows download: tonebox.exe and songs\ in one folder, zipped.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGING_INSTALL_PREFIX "")
    set(CPACK_PACKAGE_FILE_NAME tonebox-${PROJECT_VERSION}-windows-x64)
    include(CPack)
    return()
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_GENERATOR DEB)
include(CPack)
