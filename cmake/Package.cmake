# `make package`: a Debian package of what the install rules install, written
# to deb/ in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwick developers <tarnwick@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/deb")
set(CPACK_STRIP_FILES ON)
# Whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack indents the long description and writes an empty line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "keyboard language badge on the mouse pointer
Tarnwick shows the current keyboard language as a small round badge on the
mouse pointer, on the arrow, the text I-beam and the pointing hand, in every
application, so you notice the wrong layout before you type a sentence in it.

It lives in the system tray; its menu picks the badge style, mirrors the
cursors for left-handed use, restores the system cursors and starts Tarnwick
at login. It works on X11 desktops and for X11 clients under XWayland.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own libraries are found there, not in a package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/src")
# libcurl is opened at run time, with the first request, so the library scan
# cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4")
# The fonts draw the badge letters; the cursor theme gives the cursors a look
# of their own when the user has none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, dmz-cursor-theme")

include(CPack)
