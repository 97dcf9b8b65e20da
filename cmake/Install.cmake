# Where `cmake --install` and the Debian package put the program, its
# libraries and its desktop integration. The program finds its private
# libraries from its own location, so an installation can be moved to any
# prefix.
include(GNUInstallDirs)

set(TARNWICK_INSTALL_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/tarnwick")
set(TARNWICK_INSTALL_FULL_PRIVATE_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}/tarnwick")
file(RELATIVE_PATH tarnwick_private_from_bin "${CMAKE_INSTALL_FULL_BINDIR}" "${TARNWICK_INSTALL_FULL_PRIVATE_LIBDIR}")

# The provider loader looks there after the program's own folder (the build
# tree).
target_compile_definitions(tarnwick_provider PUBLIC TARNWICK_PRIVATE_LIBRARY_FOLDER="${tarnwick_private_from_bin}")

set_target_properties(tarnwick PROPERTIES INSTALL_RPATH "$ORIGIN/${tarnwick_private_from_bin}")
set(tarnwick_private_libraries tarnwick_cgimage tarnwick_provider_x11 tarnwick_provider_theme tarnwick_provider_sim)
set_target_properties(${tarnwick_private_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${tarnwick_private_libraries} LIBRARY DESTINATION ${TARNWICK_INSTALL_PRIVATE_LIBDIR})

set(packaging "${PROJECT_SOURCE_DIR}/packaging")
install(FILES ${packaging}/com.tarnwick.app.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/icons/com.tarnwick.app.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${packaging}/icons/com.tarnwick.app-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME com.tarnwick.app.png)
endforeach()

# Enabled by the user: a resting pointer follows each switch. GNOME Shell 45
# loads extensions as modules and no longer loads the older kind, so the
# package carries the one for the shell of the release it is built on.
execute_process(COMMAND gnome-shell --version OUTPUT_VARIABLE gnome_shell_version ERROR_QUIET)
string(REGEX MATCH "[0-9]+" gnome_shell_major "${gnome_shell_version}")
if(gnome_shell_major AND gnome_shell_major LESS 45)
  set(gnome_shell_extension_api 42)
else()
  set(gnome_shell_extension_api 45)
endif()
install(DIRECTORY ${packaging}/gnome-shell/${gnome_shell_extension_api}/pointer-refresh@tarnwick.com
  DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions)

configure_file(${packaging}/com.tarnwick.app.metainfo.xml.in com.tarnwick.app.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/com.tarnwick.app.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and changelogs are installed compressed, as Debian expects;
# -n keeps the compressed bytes the same from build to build.
configure_file(${packaging}/tarnwick.1.in tarnwick.1 @ONLY)
configure_file(${packaging}/changelog.in changelog @ONLY)
find_program(GZIP gzip REQUIRED)
foreach(file tarnwick.1 changelog)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${GZIP} -9nkf ${file}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${file}
    VERBATIM)
endforeach()
add_custom_target(tarnwick_compressed_docs ALL DEPENDS tarnwick.1.gz changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarnwick)

include(cmake/Package.cmake)
