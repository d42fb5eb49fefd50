# Install rules and packages. The programs and the driver libraries stay
# together in one folder (the programs look for their libraries, and for
# W_qm90.ini, in their own folder).
#
# Linux, `cmake --install build --prefix DIR`, the archive and the Debian
# package (DIR = /usr) have one shape:
#   DIR/lib/qm90/         W_QM90, qm90, qm90-sim, qm90-panel, qm90-drvhost, QBL310.DLL ... QBL314.DLL
#   DIR/bin/              links to the programs a user starts
#   DIR/share/man/man1/   one compressed manual page per program
#   DIR/share/applications, DIR/share/icons/hicolor/scalable/apps, DIR/share/metainfo
#   DIR/share/doc/qm90/   README.md, user-guide.md, screenshots, copyright, changelog.gz
# Windows (ZIP and installer): one folder with the programs, the libraries
# and doc/.
set(QM90_PROGRAMS W_QM90 qm90 qm90-sim qm90-panel qm90-drvhost)
set(QM90_LIBRARIES qbl310 qbl311 qbl312 qbl313 qbl314)
set(QM90_PACKAGE_CONTACT "W_QM90 developers <w-qm90@example.org>" CACHE STRING
    "Maintainer of the packages: name and mail address")
if(WIN32)
  set(QM90_APP_DIR .)
  set(QM90_DOC_DIR doc)
else()
  set(QM90_APP_DIR lib/qm90)
  set(QM90_DOC_DIR share/doc/qm90)
endif()
set(QM90_MAN_DIR share/man/man1)

# Programs and libraries that exist in this build (some programs are optional).
# The driver host is started by the programs themselves: no link in bin/.
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
    install(TARGETS ${program} RUNTIME DESTINATION ${QM90_APP_DIR})
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
  install(PROGRAMS ${QM90_WIN32_DRVHOST} DESTINATION ${QM90_APP_DIR})
endif()
foreach(library ${QM90_LIBRARIES})
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION ${QM90_APP_DIR} RUNTIME DESTINATION ${QM90_APP_DIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/user-guide.md
        DESTINATION ${QM90_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION ${QM90_DOC_DIR})

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Installer.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/SystemFiles.cmake)
endif()

# Packages.
set(CPACK_PACKAGE_NAME qm90)
set(CPACK_PACKAGE_VERSION ${QM90_VERSION})
set(CPACK_PACKAGE_VENDOR "W_QM90 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration and test tool for QM-90 remote I/O modules")
set(CPACK_PACKAGE_CONTACT "${QM90_PACKAGE_CONTACT}")
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
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The stripped debug information goes into a package of its own.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/packaging/postinst
                                         ${PROJECT_SOURCE_DIR}/cmake/packaging/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  find_program(QM90_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QM90_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libqt6widgets6 (>= 6.2)")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "W_QM90 connects to one QM-90 module over a serial port, an ISA or PCI card,
a USB converter or a LAN converter, reads and writes the configuration the
module keeps, and watches or sets its inputs, outputs and status register.
The package holds the window program, its driver libraries, the command-line
tool qm90 and the module emulator qm90-sim with its front panel. The
connection settings of each user are kept in ~/.config/qm90/W_qm90.ini.")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackOptions.cmake.in
               ${CMAKE_BINARY_DIR}/packaging/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/CPackOptions.cmake)
include(CPack)
