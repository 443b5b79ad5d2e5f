# What `cmake --install` puts on a Linux system, in the GNU folders: the program and the
# user tools, their manual pages, the desktop entry with its icons, and the README.
# Nothing installed refers back to the build: the programs link only system libraries,
# so the installed copies carry no RPATH (CMake strips the build one on install).
include(GNUInstallDirs)
set(QUOREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUOREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorel)

install(TARGETS quorel quorel-replay-nmea RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Relocations resolved at start and then read-only, as Debian hardens what it ships.
foreach(program quorel quorel-replay-nmea)
  target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

# Manual pages and the changelog go out compressed with gzip -9n, as Debian wants them
# (no name or time stamp in the header, so a rebuild gives the same bytes).
set(QUOREL_MAN_PAGES quorel.1 quorel-replay-nmea.1)
if(TARGET quorel-tiles)
  install(TARGETS quorel-tiles RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  target_link_options(quorel-tiles PRIVATE LINKER:-z,relro,-z,now)
  list(APPEND QUOREL_MAN_PAGES quorel-tiles.1)
endif()

find_program(QUOREL_GZIP gzip REQUIRED)
set(QUOREL_CHANGELOG_DATE "Sun, 07 Dec 2025 12:00:00 +0000" CACHE STRING "date of the packaged release")
set(compressed "")
foreach(source ${QUOREL_MAN_PAGES} changelog)
  # The pages and the changelog name the project's version (and the changelog its date).
  set(template ${QUOREL_PACKAGING_DIR}/${source})
  if(source STREQUAL "changelog")
    set(template ${template}.in)
  endif()
  set(input ${CMAKE_BINARY_DIR}/packaging/${source})
  configure_file(${template} ${input} @ONLY)
  set(output ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${QUOREL_GZIP} -9nc ${input} > ${output}
    DEPENDS ${input}
    COMMENT "Compressing ${source}")
  list(APPEND compressed ${output})
endforeach()
add_custom_target(quorel_install_files ALL DEPENDS ${compressed})

foreach(page ${QUOREL_MAN_PAGES})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES ${QUOREL_PACKAGING_DIR}/quorel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128 256)
  install(FILES ${QUOREL_PACKAGING_DIR}/icons/quorel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorel.png)
endforeach()

install(FILES README.md ${QUOREL_PACKAGING_DIR}/copyright DESTINATION ${QUOREL_DOC_DIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${QUOREL_DOC_DIR})
