# The Windows installer (NSIS), built by makensis wherever it runs:
#   cmake --build build-win64 --target installer  ->  build-win64/qm90-<version>-windows-<arch>-setup.exe
# It installs the stripped tree of `cmake --install` (programs, libraries,
# doc/) under Program Files, adds Start-menu entries and an uninstaller.
find_program(QM90_MAKENSIS makensis)
if(NOT QM90_MAKENSIS)
  return()
endif()
set(root ${CMAKE_BINARY_DIR}/installer/root)
set(QM90_INSTALLER
    ${CMAKE_BINARY_DIR}/qm90-${QM90_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}-setup.exe)
add_custom_target(installer
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${root}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${root} --strip
  COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DFILES=${CMAKE_BINARY_DIR}/installer/files.nsh
          -DREMOVE=${CMAKE_BINARY_DIR}/installer/remove.nsh -P ${CMAKE_CURRENT_LIST_DIR}/NsisFiles.cmake
  COMMAND ${QM90_MAKENSIS} -V2 -DROOT=${root} -DOUTFILE=${QM90_INSTALLER} -DVERSION=${QM90_VERSION}
          -DARCH=${CMAKE_SYSTEM_PROCESSOR} -DFILES=${CMAKE_BINARY_DIR}/installer/files.nsh
          -DREMOVE=${CMAKE_BINARY_DIR}/installer/remove.nsh
          ${CMAKE_CURRENT_LIST_DIR}/packaging/qm90.nsi
  COMMENT "Windows installer ${QM90_INSTALLER}"
  VERBATIM)
foreach(target ${QM90_PROGRAMS} ${QM90_LIBRARIES})
  if(TARGET ${target})
    add_dependencies(installer ${target})
  endif()
endforeach()
