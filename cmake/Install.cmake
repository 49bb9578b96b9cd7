# cmake --install: the program as a self-contained folder (the executable with
# Chime1.wav beside it; Alarms.dat goes there too when the folder is writable),
# a launcher in bin/, the desktop entry, the icons, the AppStream metainfo, the
# manual page and the copyright and change log. The Debian package
# (cmake/Package.cmake) is made from these same rules.
set(TOCKWISE_APP_ID example.varnod.Tockwise)
set(_program_dir lib/tockwise)
set(_doc_dir share/doc/tockwise)

# Nothing of ours is a shared library: the installed program needs no search
# path of its own (a run path into the program folder would only widen where
# libraries are looked for).
set_target_properties(tockwise PROPERTIES INSTALL_RPATH "")
install(TARGETS tockwise RUNTIME DESTINATION ${_program_dir})
# A stripped install (install/strip, the package) also drops the compiler's
# notes, which strip alone keeps.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_program_dir}/tockwise\" COMMAND_ERROR_IS_FATAL ANY)
    endif()
")
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

# The manual page and the change log carry the project's version and are
# shipped compressed, without a time stamp, so the same sources give the same
# bytes.
find_program(TOCKWISE_GZIP gzip REQUIRED)
set(_docs_out ${CMAKE_BINARY_DIR}/packaging)
set(_compressed)
foreach(_doc tockwise.1 changelog)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/${_doc}.in ${_docs_out}/${_doc} @ONLY)
    add_custom_command(OUTPUT ${_docs_out}/${_doc}.gz
        COMMAND ${TOCKWISE_GZIP} -9nf -k ${_docs_out}/${_doc}
        DEPENDS ${_docs_out}/${_doc}
        COMMENT "Compressing ${_doc}")
    list(APPEND _compressed ${_docs_out}/${_doc}.gz)
endforeach()
add_custom_target(tockwise_docs ALL DEPENDS ${_compressed})
install(FILES ${_docs_out}/tockwise.1.gz DESTINATION share/man/man1)
install(FILES ${_docs_out}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${_doc_dir})
