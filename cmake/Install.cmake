# cmake --install: the program as a self-contained folder (the executable with
# Chime1.wav beside it; Alarms.dat goes there too when the folder is writable),
# a launcher in bin/, the desktop entry, the icons and the AppStream metainfo.
set(TOCKWISE_APP_ID example.varnod.Tockwise)
set(_program_dir lib/tockwise)

install(TARGETS tockwise RUNTIME DESTINATION ${_program_dir})
install(FILES ${TOCKWISE_BIN_DIR}/Chime1.wav DESTINATION ${_program_dir})
# The launcher is a link: the program finds its folder through the real path.
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK ../${_program_dir}/tockwise \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/tockwise\" SYMBOLIC)
")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${TOCKWISE_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${TOCKWISE_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${TOCKWISE_ICON_PNG} DESTINATION share/icons/hicolor/48x48/apps RENAME ${TOCKWISE_APP_ID}.png)
install(FILES ${TOCKWISE_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps RENAME ${TOCKWISE_APP_ID}.svg)
