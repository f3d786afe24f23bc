# Desktop entry and hicolor icons, so menus and docks show Corvane with its own icon; the
# AppStream metainfo that software centres read; the manual page; the copyright notice.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvane-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME corvane.png)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/example.corvane.Corvane.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog go compressed, without a name or time stamp in the gzip
# header, so the same source always gives the same file.
set(CORVANE_GZIPPED)
foreach(name corvane.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/doc/${name}
      ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/doc/${name}
    VERBATIM)
  list(APPEND CORVANE_GZIPPED ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(corvane_docs ALL DEPENDS ${CORVANE_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/corvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_SOURCE_DIR}/doc/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
