# Install rules and packages. Everything a user runs goes into one folder, the
# driver libraries beside the programs (the programs look for them, and for
# W_qm90.ini, in their own folder):
#   cmake --install build --prefix DIR   DIR/W_QM90, DIR/QBL310.DLL ... DIR/qm90-sim, DIR/doc, DIR/share
#   cpack (in build/)                    qm90-<version>-Linux-<arch>.tar.gz: the same, in one folder
#                                        qm90_<version>_<arch>.deb: the folder as /opt/qm90, with
#                                        /usr/bin links, desktop entries, icons and man pages
#   cpack on a Windows cross build       a ZIP of the same folder (64 bit: with the 32-bit
#                                        driver host when QM90_WIN32_DRVHOST names it)
set(QM90_DEB_PREFIX /opt/qm90)
set(QM90_PROGRAMS W_QM90 qm90 qm90-sim qm90-panel qm90-drvhost)
set(QM90_LIBRARIES qbl310 qbl311 qbl312 qbl313 qbl314)

# Programs and libraries that exist in this build (some programs are optional).
# The driver host is started by the programs themselves, so it gets no link in
# /usr/bin.
set(QM90_LINKED_PROGRAMS)
foreach(program ${QM90_PROGRAMS})
  if(TARGET ${program})
    if(NOT program STREQUAL "qm90-drvhost")
      list(APPEND QM90_LINKED_PROGRAMS ${program})
    endif()
    # The same in the build tree: CMake would otherwise reserve room for the
    # installed path with empty elements, which the loader reads as the
    # working directory.
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "\$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()
# A 64-bit Windows package carries the 32-bit driver host too, built by the
# i686 tree, for the 32-bit driver libraries a user puts beside the programs.
set(QM90_WIN32_DRVHOST "" CACHE FILEPATH
    "qm90-drvhost32.exe of an i686 build, packaged with a 64-bit Windows build")
if(WIN32 AND QM90_WIN32_DRVHOST)
  if(NOT EXISTS ${QM90_WIN32_DRVHOST})
    message(FATAL_ERROR "QM90_WIN32_DRVHOST: ${QM90_WIN32_DRVHOST} does not exist")
  endif()
  install(PROGRAMS ${QM90_WIN32_DRVHOST} DESTINATION .)
endif()
foreach(library ${QM90_LIBRARIES})
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION . RUNTIME DESTINATION .)
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION doc)
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/user-guide.md)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md DESTINATION doc)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION doc)

# Desktop entries and icons of the window programs.
set(QM90_DESKTOP_FILES)
set(QM90_ICONS)
foreach(entry "W_QM90;w_qm90" "qm90-panel;qm90-panel")
  list(GET entry 0 program)
  list(GET entry 1 file)
  if(TARGET ${program})
    set(QM90_APP_DIR ${QM90_DEB_PREFIX})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/${file}.desktop.in
                   ${CMAKE_BINARY_DIR}/packaging/${file}.desktop @ONLY)
    list(APPEND QM90_DESKTOP_FILES ${CMAKE_BINARY_DIR}/packaging/${file}.desktop)
    list(APPEND QM90_ICONS ${PROJECT_SOURCE_DIR}/cmake/packaging/${file}.svg)
  endif()
endforeach()
if(QM90_ICONS)
  install(FILES ${QM90_ICONS} DESTINATION share/icons/hicolor/scalable/apps)
endif()

# Man pages, made from each program's --help when the build can run it.
set(QM90_MAN_PAGES)
if(NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
  foreach(entry
          "qm90|configure and test QM-90 I/O modules from the command line"
          "qm90-sim|emulated QM-90 modules on a local UDP port and a serial pseudo-terminal"
          "qm90-panel|front panel of the modules that qm90-sim emulates")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    if(TARGET ${program})
      set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
      add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                "-DSUMMARY=${summary}" -DVERSION=${QM90_VERSION} -DOUTPUT=${page}
                -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
        DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
        COMMENT "Man page of ${program}")
      list(APPEND QM90_MAN_PAGES ${page})
    endif()
  endforeach()
  if(QM90_MAN_PAGES)
    add_custom_target(qm90_man_pages ALL DEPENDS ${QM90_MAN_PAGES})
    install(FILES ${QM90_MAN_PAGES} DESTINATION share/man/man1)
  endif()
endif()

# The Debian layout adds what a desktop finds outside the program's folder.
configure_file(${PROJECT_SOURCE_DIR}/cmake/SystemIntegration.cmake.in
               ${CMAKE_BINARY_DIR}/packaging/SystemIntegration.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/packaging/SystemIntegration.cmake)

# Packages.
set(CPACK_PACKAGE_NAME qm90)
set(CPACK_PACKAGE_VERSION ${QM90_VERSION})
set(CPACK_PACKAGE_VENDOR "W_QM90 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and test tool for the QM-90 remote I/O module, with its driver libraries and emulator")
set(CPACK_PACKAGE_CONTACT "W_QM90 developers <qm90@localhost>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY qm90)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qm90-${QM90_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_FILE_NAME qm90-${QM90_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  find_program(QM90_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QM90_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libqt6widgets6 (>= 6.2)")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "W_QM90 connects to one module over a serial port, an ISA or PCI card, a USB
converter or a LAN converter, reads and writes the configuration the module
keeps, and watches or sets its inputs, outputs and status register. The
package holds the program, its driver libraries, the command-line tools and
the module emulator qm90-sim. Everything lives in /opt/qm90; the settings
file W_qm90.ini is kept beside the program (see the user guide).")
endif()
set(QM90_CPACK_DEB_PREFIX ${QM90_DEB_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackOptions.cmake.in
               ${CMAKE_BINARY_DIR}/packaging/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/CPackOptions.cmake)
include(CPack)
