# Where `cmake --install` puts the program, and the Debian package made from it by CPack.
#
#   <prefix>/lib/ventaro/               the executable with its help file, tips file and sound
#   <prefix>/bin/ventaro                a relative link to lib/ventaro/ventaro; the program
#                                       finds its folder through the resolved link
#   <prefix>/bin/ventaro-query
#   <prefix>/share/applications/        the menu entry         } all named after the
#   <prefix>/share/metainfo/            the AppStream metainfo } desktop id below
#   <prefix>/share/icons/hicolor/       the icon, scalable and 16 to 256 pixels
#   <prefix>/share/man/man1/            ventaro.1.gz, ventaro-query.1.gz
#   <prefix>/share/doc/ventaro/         copyright, changelog.gz
#
# The prefix is /usr/local by default; the package is built with /usr (scripts/package).

set(VENTARO_DESKTOP_ID "example.merrowick.Ventaro")
set(VENTARO_PACKAGE_NAME "ventaro")
set(VENTARO_PROGRAM_FOLDER "lib/ventaro")
set(VENTARO_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(VENTARO_STAGE_DIR "${CMAKE_BINARY_DIR}/packaging")
set(VENTARO_ICON_SIZES 16 22 24 32 48 64 128 256)

# Directories made by the install get the usual modes whatever the umask is.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

file(MAKE_DIRECTORY "${VENTARO_STAGE_DIR}")

# ---- The program folder and its launcher -------------------------------------------------

if(TARGET ventaro)
  install(TARGETS ventaro RUNTIME DESTINATION "${VENTARO_PROGRAM_FOLDER}")
  file(GLOB VENTARO_INSTALLED_PROGRAM_FILES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/resources/program/*")
  install(FILES ${VENTARO_INSTALLED_PROGRAM_FILES} DESTINATION "${VENTARO_PROGRAM_FOLDER}")

  # A relative link, so the tree works under any DESTDIR and inside the package.
  file(CREATE_LINK "../${VENTARO_PROGRAM_FOLDER}/ventaro" "${VENTARO_STAGE_DIR}/ventaro" SYMBOLIC)
  install(FILES "${VENTARO_STAGE_DIR}/ventaro" DESTINATION bin)
endif()

if(TARGET ventaro-query)
  install(TARGETS ventaro-query RUNTIME DESTINATION bin)
endif()

# ---- Desktop integration -----------------------------------------------------------------

# The menu entry starts the launcher by name where bin/ is on the PATH, by its full path
# under any other prefix.
file(READ "${VENTARO_PACKAGING_DIR}/${VENTARO_DESKTOP_ID}.desktop" VENTARO_DESKTOP_ENTRY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VENTARO_PACKAGING_DIR}/${VENTARO_DESKTOP_ID}.desktop")
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  string(REPLACE "\nExec=ventaro\n" "\nExec=${CMAKE_INSTALL_PREFIX}/bin/ventaro\n" VENTARO_DESKTOP_ENTRY "${VENTARO_DESKTOP_ENTRY}")
endif()
file(GENERATE OUTPUT "${VENTARO_STAGE_DIR}/${VENTARO_DESKTOP_ID}.desktop" CONTENT "${VENTARO_DESKTOP_ENTRY}")
install(FILES "${VENTARO_STAGE_DIR}/${VENTARO_DESKTOP_ID}.desktop" DESTINATION share/applications)

install(FILES "${VENTARO_PACKAGING_DIR}/${VENTARO_DESKTOP_ID}.metainfo.xml" DESTINATION share/metainfo)

install(FILES "${VENTARO_PACKAGING_DIR}/icons/${VENTARO_DESKTOP_ID}.svg" DESTINATION share/icons/hicolor/scalable/apps)
foreach(size ${VENTARO_ICON_SIZES})
  install(FILES "${VENTARO_PACKAGING_DIR}/icons/${size}x${size}/${VENTARO_DESKTOP_ID}.png"
          DESTINATION "share/icons/hicolor/${size}x${size}/apps")
endforeach()

# ---- Manual pages and package documents --------------------------------------------------

# Compressed as Debian wants them: best compression, no name or time in the header, so the
# same text always gives the same file.
find_program(VENTARO_GZIP gzip)
function(ventaro_install_compressed source destination)
  get_filename_component(name "${source}" NAME)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  if(VENTARO_GZIP)
    execute_process(COMMAND "${VENTARO_GZIP}" -9 -n -c "${source}"
                    OUTPUT_FILE "${VENTARO_STAGE_DIR}/${name}.gz" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "Could not compress ${source}")
    endif()
    install(FILES "${VENTARO_STAGE_DIR}/${name}.gz" DESTINATION "${destination}")
  else()
    install(FILES "${source}" DESTINATION "${destination}")
  endif()
endfunction()

ventaro_install_compressed("${VENTARO_PACKAGING_DIR}/man/ventaro.1" share/man/man1)
ventaro_install_compressed("${VENTARO_PACKAGING_DIR}/man/ventaro-query.1" share/man/man1)
ventaro_install_compressed("${VENTARO_PACKAGING_DIR}/changelog" "share/doc/${VENTARO_PACKAGE_NAME}")
install(FILES "${VENTARO_PACKAGING_DIR}/copyright" DESTINATION "share/doc/${VENTARO_PACKAGE_NAME}")

# ---- Checks run by ctest ------------------------------------------------------------------

if(VENTARO_BUILD_TESTS)
  # The menu entry and the metainfo as the desktop's own validators see them.
  add_test(NAME packaging_metadata
           COMMAND "${VENTARO_PACKAGING_DIR}/validate"
                   "${VENTARO_PACKAGING_DIR}/${VENTARO_DESKTOP_ID}.desktop"
                   "${VENTARO_PACKAGING_DIR}/${VENTARO_DESKTOP_ID}.metainfo.xml")
  # The whole install, staged under the build folder and checked file by file; the staged
  # program is started through its launcher and must find its own folder.
  if(TARGET ventaro AND TARGET ventaro-query)
    add_test(NAME packaging_install_tree
             COMMAND "${VENTARO_PACKAGING_DIR}/check-tree" --start --install "${CMAKE_BINARY_DIR}"
                     "${CMAKE_BINARY_DIR}/install-check" "${CMAKE_INSTALL_PREFIX}")
    set_tests_properties(packaging_install_tree PROPERTIES TIMEOUT 300)
  endif()
endif()

# ---- The Debian package ------------------------------------------------------------------

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${VENTARO_PACKAGE_NAME}")
set(CPACK_PACKAGE_VENDOR "Merrowick")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_CONTACT "Merrowick Packaging <packaging@merrowick.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reminder manager that lives in the notification area")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.merrowick.example")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Ventaro! keeps one person's reminders: one-time, daily, weekly, monthly and
yearly, with exceptions for single occurrences. It alerts on time with sound,
snooze and dismiss, catches up on what was missed while it was not running,
and shows a two-month calendar, a day view of half-hour slots and a list of
all reminders. Reminders live in one text database file per user with an
automatic backup.
.
The package also holds ventaro-query, which answers questions about a
database file from the command line without ever writing it.")
# The libraries come from the binaries; sound output goes through GStreamer plugins, which
# no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
