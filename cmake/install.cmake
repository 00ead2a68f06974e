# Desktop integration: a launcher entry, the application's icons, its
# AppStream description, the manual page and the MIME type of project files
# (".twp"), so that file managers open projects with the program and software
# centres list it. Installed beside the executable rules of
# src/CMakeLists.txt.
set(TW_SHARE_DIR ${CMAKE_SOURCE_DIR}/share)

install(FILES ${TW_SHARE_DIR}/tarnwell.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TW_SHARE_DIR}/tarnwell-project.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_SOURCE_DIR}/resources/gui/tw_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME tarnwell.svg)
install(FILES ${CMAKE_SOURCE_DIR}/resources/gui/tw_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
        RENAME application-x-tarnwell-project.svg)
install(FILES ${TW_SHARE_DIR}/com.orvane.tarnwell.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TW_SHARE_DIR}/man/tarnwell.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The icon at the fixed sizes of the icon theme, drawn from the scalable one
# by a small Qt program of the build (menus and panels that take no SVG).
add_executable(tw_render_icon ${CMAKE_SOURCE_DIR}/resources/tools/render_icon.cpp)
target_link_libraries(tw_render_icon PRIVATE Qt6::Gui)
set_target_properties(tw_render_icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
# It runs during the build: no sanitizer (a leak report would fail the build).
set_property(TARGET tw_render_icon PROPERTY COMPILE_OPTIONS "")
set_property(TARGET tw_render_icon PROPERTY LINK_OPTIONS "")
tw_warnings(tw_render_icon)
set(TW_ICON_SIZES 16 22 24 32 48 64 128 256)
set(_icons)
foreach(_size ${TW_ICON_SIZES})
  set(_png ${CMAKE_BINARY_DIR}/icons/${_size}x${_size}/tarnwell.png)
  add_custom_command(
    OUTPUT ${_png}
    COMMAND tw_render_icon ${CMAKE_SOURCE_DIR}/resources/gui/tw_icon.svg ${_size} ${_png}
    DEPENDS tw_render_icon ${CMAKE_SOURCE_DIR}/resources/gui/tw_icon.svg
    COMMENT "Drawing the ${_size}x${_size} icon"
    VERBATIM)
  list(APPEND _icons ${_png})
  install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()
add_custom_target(tw_icons ALL DEPENDS ${_icons})

# Refresh the desktop databases when installing into a live system; skipped
# for staged installs (DESTDIR) and when the tools are missing.
install(CODE [[
  if(NOT DEFINED ENV{DESTDIR} OR "$ENV{DESTDIR}" STREQUAL "")
    find_program(_tw_update_mime update-mime-database)
    find_program(_tw_update_desktop update-desktop-database)
    find_program(_tw_update_icons gtk-update-icon-cache)
    if(_tw_update_mime)
      execute_process(COMMAND ${_tw_update_mime} "${CMAKE_INSTALL_PREFIX}/share/mime" OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(_tw_update_desktop)
      execute_process(COMMAND ${_tw_update_desktop} "${CMAKE_INSTALL_PREFIX}/share/applications" OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(_tw_update_icons AND EXISTS "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/index.theme")
      execute_process(COMMAND ${_tw_update_icons} -q -t "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor" OUTPUT_QUIET ERROR_QUIET)
    endif()
  endif()
]])

# The user guide that the help entries open: beside the executable in the
# build tree, under share/doc when installed.
configure_file(${TW_SHARE_DIR}/doc/user-guide.html ${TW_BIN_DIR}/doc/user-guide.html COPYONLY)
install(FILES ${TW_SHARE_DIR}/doc/user-guide.html DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwell)
