# Installation and the Debian package: `make package` (cpack -G DEB) builds
# korvani_<version>_<arch>.deb in the build folder. Included at the end of
# the top-level CMakeLists.txt, once every program target exists.
#
# /usr/bin: korvani, korvani-sim, korvani-demo and korvani-cli (when built);
# a menu entry with a demo action, the icon (SVG and 128-pixel PNG, drawn
# from the SVG by scripts/render-icon.sh), AppStream metadata, a man page per
# program, and the copyright and changelog Debian asks for. Package
# dependencies are computed from the binaries by dpkg-shlibdeps.

include(GNUInstallDirs)

set(KORVANI_APP_ID org.korvani.Korvani)
set(KORVANI_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(KORVANI_PROGRAMS korvani)
foreach(program korvani-sim korvani-demo korvani-cli)
  if(TARGET ${program})
    list(APPEND KORVANI_PROGRAMS ${program})
  endif()
endforeach()

install(TARGETS ${KORVANI_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KORVANI_PACKAGING}/${KORVANI_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The metadata, the man pages and the changelog carry the project's version.
set(KORVANI_GENERATED ${CMAKE_BINARY_DIR}/packaging)
configure_file(${KORVANI_PACKAGING}/${KORVANI_APP_ID}.metainfo.xml
  ${KORVANI_GENERATED}/${KORVANI_APP_ID}.metainfo.xml @ONLY)
configure_file(${KORVANI_PACKAGING}/changelog ${KORVANI_GENERATED}/changelog @ONLY)
install(FILES ${KORVANI_GENERATED}/${KORVANI_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KORVANI_PACKAGING}/korvani.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KORVANI_PACKAGING}/korvani.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${KORVANI_PACKAGING}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvani)

# Man pages and the changelog go in compressed, as Debian wants them
# (gzip -n: no name or time stamp, so the package is reproducible).
set(KORVANI_GZIPPED)
foreach(program ${KORVANI_PROGRAMS})
  configure_file(${KORVANI_PACKAGING}/man/${program}.1 ${KORVANI_GENERATED}/${program}.1 @ONLY)
  set(page ${KORVANI_GENERATED}/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND gzip -9nc ${KORVANI_GENERATED}/${program}.1 > ${page}
    DEPENDS ${KORVANI_GENERATED}/${program}.1 VERBATIM)
  list(APPEND KORVANI_GZIPPED ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${KORVANI_GENERATED}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nc ${KORVANI_GENERATED}/changelog > ${changelog}
  DEPENDS ${KORVANI_GENERATED}/changelog VERBATIM)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvani)
add_custom_target(korvani_compressed_docs ALL DEPENDS ${KORVANI_GZIPPED} ${changelog})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvani)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Korvani developers <korvani@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "check and monitor a time-of-flight laser distance sensor module")
set(CPACK_PACKAGE_DESCRIPTION
"Korvani talks to a time-of-flight laser distance sensor module over a
serial line: a USB-to-UART adapter, or an RS485 bus on which modules are
told apart by their device ID. It sends the module its commands, checks
and decodes every frame the module sends back and shows it live as
readouts, a text log, a hexadecimal log, a distance chart and a
tolerance-band trigger test.
.
The package also holds korvani-sim, a simulated module on a
pseudo-terminal, and korvani-demo, the window with a simulated module
whose line faults can be switched on from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# korvani-cli keeps runs in SQLite (its spool always) and, for a line, in
# PostgreSQL: Qt's SQL drivers are plugins, which the library scan misses.
if(KORVANI_QT EQUAL 5)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
  set(korvani_sql_recommends ", libqt5sql5-psql")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
  set(korvani_sql_recommends ", libqt6sql6-psql")
endif()
# The window's Chinese texts need a font that has the glyphs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk${korvani_sql_recommends}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
