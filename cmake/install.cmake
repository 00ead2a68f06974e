# Desktop integration: a launcher entry, the application icon and the MIME
# type of project files (".twp"), so that file managers open projects with
# the program. Installed beside the executable rules of src/CMakeLists.txt.
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

# Refresh the desktop databases when installing into a live system; skipped
# for staged installs (DESTDIR) and when the tools are missing.
install(CODE [[
  if(NOT DEFINED ENV{DESTDIR} OR "$ENV{DESTDIR}" STREQUAL "")
    find_program(_tw_update_mime update-mime-database)
    find_program(_tw_update_desktop update-desktop-database)
    if(_tw_update_mime)
      execute_process(COMMAND ${_tw_update_mime} "${CMAKE_INSTALL_PREFIX}/share/mime" OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(_tw_update_desktop)
      execute_process(COMMAND ${_tw_update_desktop} "${CMAKE_INSTALL_PREFIX}/share/applications" OUTPUT_QUIET ERROR_QUIET)
    endif()
  endif()
]])

# The user guide that the help entries open: beside the executable in the
# build tree, under share/doc when installed.
configure_file(${TW_SHARE_DIR}/doc/user-guide.html ${TW_BIN_DIR}/doc/user-guide.html COPYONLY)
install(FILES ${TW_SHARE_DIR}/doc/user-guide.html DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwell)
