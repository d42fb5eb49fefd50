# Installs the build into PREFIX and checks what a user finds there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(file W_QM90 qm90-sim qm90-drvhost QBL310.DLL QBL311.DLL QBL312.DLL QBL313.DLL QBL314.DLL
             doc/user-guide.md share/man/man1/qm90-sim.1
             share/icons/hicolor/scalable/apps/w_qm90.svg)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Nothing of the system layout outside the folder's own prefix.
if(EXISTS ${PREFIX}/usr)
  message(FATAL_ERROR "system files installed into a plain prefix")
endif()
execute_process(COMMAND ${PREFIX}/qm90-sim --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(STRIP "${out}" out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "qm90-sim ${VERSION}")
  message(FATAL_ERROR "installed qm90-sim --version gave ${rc}: '${out}'")
endif()
file(REMOVE_RECURSE ${PREFIX})
