# Installation for a Linux desktop: the program in bin/, its desktop entry and
# icons where menus and launchers look for them. The help page installs itself
# (help/CMakeLists.txt) into share/quillpost.
include(GNUInstallDirs)

# The application icon, built into the window program.
target_sources(quillpost-window PRIVATE ${CMAKE_SOURCE_DIR}/app/resources/quillpost.qrc)

install(TARGETS quillpost quillpost-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/quillpost.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/app/resources/quillpost-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME quillpost.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/quillpost.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
