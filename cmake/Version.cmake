# The one version of the package and of every program, set in project() at the
# top; programs read it from the generated header <qm90/Version.h>.
set(QM90_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${CMAKE_BINARY_DIR}/generated/qm90/Version.h
               @ONLY)
add_library(qm90_version INTERFACE)
target_include_directories(qm90_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
