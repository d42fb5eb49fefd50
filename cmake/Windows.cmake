# Windows builds: the cross build (cmake/mingw-*.cmake) takes GoogleTest and
# CLI11 from Debian's sources and headers; a build on Windows itself takes
# installed packages (e.g. through CMAKE_PREFIX_PATH).

set(QM90_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH
    "GoogleTest sources compiled with the project (the cross build)")
if(EXISTS ${QM90_GOOGLETEST_SOURCE}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QM90_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest QUIET)
endif()

# CLI11 is header-only. Cross-building, its folder is linked into the build so
# that the cross compiler is not handed all of /usr/include.
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/include/CLI/CLI.hpp)
  set(QM90_CLI11_DIR ${CMAKE_BINARY_DIR}/cli11-include)
  file(MAKE_DIRECTORY ${QM90_CLI11_DIR})
  file(CREATE_LINK /usr/include/CLI ${QM90_CLI11_DIR}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${QM90_CLI11_DIR})
else()
  find_package(CLI11 CONFIG QUIET)
endif()

# Windows 7 and later: inet_pton, WSA_FLAG_NO_HANDLE_INHERIT.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# W_QM90.exe's resources: icon, application manifest, version information.
function(qm90_window_program_resources target)
  set(QM90_RC_DIR ${PROJECT_SOURCE_DIR}/ui/win32/res)
  set(QM90_RC_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
  set(QM90_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
  set(QM90_RC_MANIFEST ${CMAKE_BINARY_DIR}/generated/W_QM90.manifest)
  configure_file(${QM90_RC_DIR}/W_QM90.manifest ${QM90_RC_MANIFEST} @ONLY)
  configure_file(${QM90_RC_DIR}/W_QM90.rc.in ${CMAKE_BINARY_DIR}/generated/W_QM90.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/W_QM90.rc)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
