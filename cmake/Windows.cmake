# The cross build for Windows (cmake/mingw-*.cmake): what the Linux build finds
# on the system is made here from Debian's sources and headers.

# GoogleTest compiled with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# CLI11 is header-only; its folder is linked into the build so that the cross
# compiler is not handed all of /usr/include.
if(EXISTS /usr/include/CLI/CLI.hpp)
  set(QM90_CLI11_DIR ${CMAKE_BINARY_DIR}/cli11-include)
  file(MAKE_DIRECTORY ${QM90_CLI11_DIR})
  file(CREATE_LINK /usr/include/CLI ${QM90_CLI11_DIR}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${QM90_CLI11_DIR})
endif()

# Windows 7 and later: inet_pton, WSA_FLAG_NO_HANDLE_INHERIT.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# No Qt for MinGW here: the window program is built on Windows itself.
set(QM90_GUI OFF CACHE BOOL "" FORCE)
