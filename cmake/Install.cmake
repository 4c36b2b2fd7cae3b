# The installed tree: `cmake --install BUILD --prefix P` and the Debian package lay out
#
#   P/bin/<host>                                   the hosts, RPATH $ORIGIN/../lib/magnikeys
#   P/lib/magnikeys/libplatform.so, msim.dll       the platform library and its own keyboard
#   P/lib/magnikeys/device/Maker/Product/          device libraries and programs
#   P/share/magnikeys/device/Maker/Product/        their data
#   P/share/magnikeys/autostart/<host>.desktop     the session start entry a host writes for its user
#   P/share/applications/<host>.desktop            launchers
#   P/share/icons/hicolor/NxN/apps/magnikeys.png   the keyboard's icon
#   P/share/man/man1/<host>.1                      manual pages
#
# A host finds the rest from its own place (panel_host/HostFiles.h), so the tree can be moved.
# Whatever the build puts in its device install tree (${MK_INSTALL_TREE}) is installed beside
# it: device libraries by mk_device_library(... INSTALL_DIR), programs and data by the folder
# that copies them there.
set(MK_INSTALL_LIBDIR lib/magnikeys)
set(MK_INSTALL_DEVICE_LIBDIR ${MK_INSTALL_LIBDIR}/device)
set(MK_INSTALL_DEVICE_DATADIR share/magnikeys/device)
set(MK_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/data/desktop)

# mk_install_host(TARGET) installs a host program with what belongs to it, each when its source
# exists: docs/man/NAME.1, the launcher data/desktop/NAME.desktop and the session start entry
# data/desktop/NAME-autostart.desktop (NAME is the program's file name).
function(mk_install_host target)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${MK_INSTALL_LIBDIR}")
  install(TARGETS ${target} RUNTIME DESTINATION bin)
  if(EXISTS ${PROJECT_SOURCE_DIR}/docs/man/${name}.1)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${name}.1 DESTINATION share/man/man1)
  endif()
  if(EXISTS ${MK_DESKTOP_DIR}/${name}.desktop)
    install(FILES ${MK_DESKTOP_DIR}/${name}.desktop DESTINATION share/applications)
  endif()
  if(EXISTS ${MK_DESKTOP_DIR}/${name}-autostart.desktop)
    # The build's copy, for a host run from the build folder.
    configure_file(${MK_DESKTOP_DIR}/${name}-autostart.desktop ${PROJECT_BINARY_DIR}/autostart/${name}.desktop COPYONLY)
    install(FILES ${MK_DESKTOP_DIR}/${name}-autostart.desktop DESTINATION share/magnikeys/autostart RENAME ${name}.desktop)
  endif()
endfunction()

# The keyboard's icon, drawn at each size of the icon theme by tools/iconart.
function(mk_install_icons)
  set(out ${PROJECT_BINARY_DIR}/icons)
  add_custom_command(OUTPUT ${out}/hicolor/256x256/apps/magnikeys.png
    COMMAND iconart ${out}
    DEPENDS iconart
    COMMENT "Drawing the keyboard's icon for the desktop")
  add_custom_target(desktop_icons ALL DEPENDS ${out}/hicolor/256x256/apps/magnikeys.png)
  install(DIRECTORY ${out}/hicolor DESTINATION share/icons)
endfunction()
