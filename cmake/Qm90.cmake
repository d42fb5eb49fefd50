# Shared helpers for the project's CMake files.

# A driver library with the exact file name the program loads: QBL31x.DLL on every platform.
function(qm90_driver_library target file_base)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${file_base}
    SUFFIX ".DLL"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # Windows: a DLL is a run-time file and would follow RUNTIME_OUTPUT_DIRECTORY;
  # it goes where the library folder says, as on other platforms. The import
  # library nobody links against gets a folder per target (the scripted and
  # the real QBL31x share file names).
  if(WIN32)
    set_target_properties(${target} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "$<TARGET_PROPERTY:LIBRARY_OUTPUT_DIRECTORY>"
      ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${target})
  endif()
endfunction()

# 32-bit stdcall entries are exported as NAME@bytes; the program looks up the
# plain names, so the decoration is dropped at link time.
function(qm90_plain_exports target)
  if(WIN32)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()

# Environment every test gets: no display needed, a private runtime folder.
set(QM90_TEST_RUNTIME_DIR ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${QM90_TEST_RUNTIME_DIR})
file(CHMOD ${QM90_TEST_RUNTIME_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

function(qm90_add_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${QM90_TEST_RUNTIME_DIR};QM90_BIN_DIR=${QM90_BIN_DIR}"
    TIMEOUT 300)
endfunction()

# Adds each named sub-folder; one without a CMakeLists.txt stops the configure.
function(qm90_add_folders)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir}: folder or its CMakeLists.txt missing")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()
