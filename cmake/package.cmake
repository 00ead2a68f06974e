# The Debian package: `cpack -G DEB` in the build folder writes
# tarnwell_<version>_<arch>.deb from the install rules. The libraries the
# program links come into Depends through dpkg-shlibdeps; the programs and
# plugins it starts or loads at run time are listed by hand.
set(TW_PACKAGE_MAINTAINER "Tarnwell maintainers <maintainers@tarnwell.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME tarnwell)
set(CPACK_PACKAGE_VENDOR "Orvane Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TW_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "practise with recordings at any tempo and pitch")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarnwell plays any video or audio file that ffmpeg can read at 25 to 200 %
of its tempo and up to 12 semitones up or down, marks loops and bookmarks on
a timeline, edits the recording without touching the source file (cut, copy,
paste, silence, volume, each undoable), saves projects and exports the result
as a video or audio file.")
set(CPACK_GENERATOR DEB)
# The program's own folders (its data and helper scripts) are compiled in
# from CMAKE_INSTALL_PREFIX, so the package installs there too: a package for
# /usr comes from a build configured with -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Staged through DESTDIR, so that the install rules know it is no live
# system (they refresh the desktop databases only there).
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian packages carry no debugging information.
set(CPACK_STRIP_FILES ON)
# Loaded or started at run time, so invisible to dpkg-shlibdeps: the SVG
# image and icon plugins of Qt, libvlc's decoders and video outputs, the
# ffmpeg programs and the web video downloader.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6svg6, vlc-plugin-base, vlc-plugin-video-output, ffmpeg, yt-dlp")
include(CPack)
