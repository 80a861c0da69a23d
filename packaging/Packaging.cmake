# Installs what turns the two programs into a desktop application (menu
# entry, icons, AppStream data), the manual page, and sets CPack up to build
# a Debian package. The programs themselves and the parser helper are
# installed by their own directories.
#
# Included from the top-level CMakeLists.txt, so paths are spelled out from
# PROJECT_SOURCE_DIR / PROJECT_BINARY_DIR rather than the "current" ones.

# The desktop file, the metainfo and the icons must all carry this one name:
# menus find the icon by it and software centres join metainfo and desktop
# file by it.
set(BIBSOURCES_APP_ID "org.bibsources.Bibsources")

set(bibsourcesResources "${PROJECT_SOURCE_DIR}/resources")

# --- Desktop integration (only with the window program it starts) ---------

if(BIBSOURCES_BUILD_GUI)
    install(FILES "${bibsourcesResources}/${BIBSOURCES_APP_ID}.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${bibsourcesResources}/${BIBSOURCES_APP_ID}.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

    set(iconTheme "${CMAKE_INSTALL_DATADIR}/icons/hicolor")
    install(FILES "${bibsourcesResources}/bibsources.svg"
            DESTINATION "${iconTheme}/scalable/apps"
            RENAME "${BIBSOURCES_APP_ID}.svg")
    # Every size drawn under resources/icons is installed; adding a size
    # there needs no change here.
    file(GLOB iconSizeDirs LIST_DIRECTORIES true
         RELATIVE "${bibsourcesResources}/icons/hicolor"
         "${bibsourcesResources}/icons/hicolor/*x*")
    foreach(size IN LISTS iconSizeDirs)
        install(FILES "${bibsourcesResources}/icons/hicolor/${size}/apps/bibsources.png"
                DESTINATION "${iconTheme}/${size}/apps"
                RENAME "${BIBSOURCES_APP_ID}.png")
    endforeach()
endif()

# --- Manual page ------------------------------------------------------------

# Debian installs manual pages compressed; man(1) reads them either way.
# -n keeps the build time out of the gzip header, so the package is the same
# from one build to the next.
find_program(GZIP_EXECUTABLE gzip)
set(manSource "${PROJECT_SOURCE_DIR}/man/bibsources.1")
if(GZIP_EXECUTABLE)
    set(manPage "${PROJECT_BINARY_DIR}/packaging/bibsources.1.gz")
    add_custom_command(
        OUTPUT "${manPage}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/packaging"
        COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${manSource}" > "${manPage}"
        DEPENDS "${manSource}"
        COMMENT "Compressing the bibsources(1) manual page"
        VERBATIM)
    add_custom_target(bibsources_manpage ALL DEPENDS "${manPage}")
else()
    set(manPage "${manSource}")
endif()
install(FILES "${manPage}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# --- Licence ---------------------------------------------------------------

# Debian wants the licence as /usr/share/doc/<package>/copyright, in its
# machine-readable format; the same MIT text is LICENSE at the top.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/bibsources")

# --- Debian package ---------------------------------------------------------

set(BIBSOURCES_PACKAGE_MAINTAINER "bibsources maintainers <maintainers@bibsources.invalid>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "bibsources")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${BIBSOURCES_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT") # bibsources_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BIBSOURCES_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "tex")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
# CPack puts the summary above this text and indents it as Debian wants
# (an empty line becomes " ."), so it is written here as plain paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "bibsources converts a BibTeX database into the Office Open XML bibliography
(Sources.xml) that word processors import as their list of citable sources.
Authors, editors and translators become name lists and TeX accents become
Unicode letters.

The package holds the desktop application bibsources-gui, onto whose window
a .bib file is dropped, and the command bibsources, which converts or merges
any number of files. The BibTeX parser runs in a separate, sandboxed helper
process, so an input that crashes it costs one entry, not the conversion.")

# The library packages are read off the built programs by dpkg-shlibdeps
# (from dpkg-dev). Without it the list is written out by hand; keep it in
# step with what the programs link: Qt widgets (app), btparse and libseccomp
# (parser helper), libxml2 (the converter, for --merge), utf8proc and
# libuuid (the converter, for --tidy), libzip and minizip (the converter,
# for documents), the C++ runtime (all).
find_program(DPKG_SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_EXECUTABLE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    message(STATUS "dpkg-shlibdeps not found: the .deb lists its dependencies by hand")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0), libbtparse2, libseccomp2, libxml2 (>= 2.9), libutf8proc2, libuuid1, libzip4 (>= 1.7), libminizip1")
    if(BIBSOURCES_BUILD_GUI)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4)")
    endif()
endif()
if(BIBSOURCES_BUILD_GUI)
    # The menu icon sits in the hicolor theme, which that package provides.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
endif()

include(CPack)
