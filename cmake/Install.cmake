# What `cmake --install` puts where, and the Debian package made from the same rules
# (`cpack -G DEB` in the build directory).
#
#   bin/quillory, bin/quillory-cli
#   share/applications/quillory.desktop       the applications menu's entry
#   share/icons/hicolor/*/apps/quillory.*     its icon, 16 to 256 pixels and scalable
#   share/mime/packages/quillory.xml          the type of mail-folder files, for file managers
#   share/man/man1/quillory.1, quillory-cli.1
#   share/quillory/install_manifest.txt       what was installed, for scripts/uninstall.sh
#
# The window's pages, pictures, menu and strings are compiled into it: it reads no files of its
# own at run time, only Qt's.
include(GNUInstallDirs)

install(TARGETS quillory-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
configure_file(res/man/quillory-cli.1.in man/quillory-cli.1 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/quillory-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop's files all start the window, so they come with it.
if(QUILLORY_WINDOW)
  install(TARGETS quillory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(res/man/quillory.1.in man/quillory.1 @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/quillory.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES res/desktop/quillory.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES res/desktop/quillory-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME quillory.xml)
  install(DIRECTORY res/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# Last of all: the list of what was installed, relative to the prefix, kept in the installed tree
# itself (the build directory's install_manifest.txt is replaced by every install, a test's into a
# temporary tree included). Then, for an install in place (not one staged under DESTDIR for a
# package), the desktop's caches.
install(CODE [[
  # The list names each file by its place under the prefix, DESTDIR left out.
  set(quillory_list "")
  foreach(quillory_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    file(RELATIVE_PATH quillory_relative "${CMAKE_INSTALL_PREFIX}" "${quillory_file}")
    string(APPEND quillory_list "${quillory_relative}\n")
  endforeach()
  file(WRITE "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/quillory/install_manifest.txt" "${quillory_list}")
]])
install(CODE "set(quillory_caches_script \"${CMAKE_CURRENT_LIST_DIR}/DesktopCaches.cmake\")")
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "")
    include("${quillory_caches_script}")
    quillory_refresh_desktop_caches("${CMAKE_INSTALL_PREFIX}" OFF)
  endif()
]])

set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VENDOR "Quillory developers")
set(CPACK_PACKAGE_CONTACT "Quillory developers <dev@quillory.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reader and organiser for stored mail")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillory lists directories of stored mail: mail-folder files (.dbx) and single messages (.eml, .msg) with their From, To, Subject and Date lines, and saves any message, byte for byte, as a file of its own. quillory-cli does the same from the command line.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
# The libraries the programs link, as dpkg-shlibdeps finds them ...
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ... and what the window loads without linking it: the browser's helper process and Qt's
# platform plugins.
if(QUILLORY_WINDOW)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
endif()
include(CPack)
