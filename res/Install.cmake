# Desktop entry and hicolor icons, so menus and docks show Corvane with its own icon.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvane-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME corvane.png)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/corvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
