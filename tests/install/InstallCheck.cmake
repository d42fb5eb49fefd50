cmake_minimum_required(VERSION 3.25)
# Installs the build into PREFIX and checks what a user and the package tools
# find there: the programs with their libraries in lib/qm90, links in bin/,
# each system file once where a desktop and man look, manual pages that fit
# 80 columns and name every subcommand qm90 has.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

function(expect_file file)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endfunction()

set(programs W_QM90 qm90 qm90-sim qm90-panel)
foreach(file qm90-drvhost QBL310.DLL QBL311.DLL QBL312.DLL QBL313.DLL QBL314.DLL ${programs})
  expect_file(lib/qm90/${file})
endforeach()
foreach(program ${programs})
  file(READ_SYMLINK ${PREFIX}/bin/${program} target)
  if(NOT target STREQUAL "../lib/qm90/${program}")
    message(FATAL_ERROR "bin/${program} is no relative link into lib/qm90: '${target}'")
  endif()
endforeach()
foreach(file share/doc/qm90/user-guide.md share/doc/qm90/README.md share/doc/qm90/copyright
             share/doc/qm90/changelog.gz share/applications/org.qm90.w_qm90.desktop
             share/applications/org.qm90.qm90_panel.desktop share/metainfo/org.qm90.w_qm90.metainfo.xml
             share/icons/hicolor/scalable/apps/w_qm90.svg share/icons/hicolor/scalable/apps/qm90-panel.svg)
  expect_file(${file})
endforeach()

# Each file once: no name shows up in two folders (the links in bin/ and the
# screenshots aside).
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(FILTER installed EXCLUDE REGEX "/screenshots/|^bin/")
set(seen)
foreach(file ${installed})
  get_filename_component(name ${file} NAME)
  if(name IN_LIST seen)
    message(FATAL_ERROR "installed twice: ${name} (${installed})")
  endif()
  list(APPEND seen ${name})
endforeach()
if(EXISTS ${PREFIX}/usr OR EXISTS ${PREFIX}/opt)
  message(FATAL_ERROR "system folders installed into a plain prefix")
endif()

# The programs run through their links and find their libraries.
execute_process(COMMAND ${PREFIX}/bin/qm90-sim --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(STRIP "${out}" out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "qm90-sim ${VERSION}")
  message(FATAL_ERROR "installed qm90-sim --version gave ${rc}: '${out}'")
endif()

# Every program in bin/ has its page; each renders in 80 columns without a
# warning, and qm90's names each subcommand its help lists.
find_program(MAN man)
foreach(program ${programs} qm90-drvhost)
  expect_file(share/man/man1/${program}.1.gz)
  if(NOT MAN)
    continue()
  endif()
  set(ENV{MANWIDTH} 80)
  execute_process(COMMAND ${MAN} --warnings -E UTF-8 -l ${PREFIX}/share/man/man1/${program}.1.gz
                  OUTPUT_VARIABLE page ERROR_VARIABLE warnings RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "man ${program} (${rc}): ${warnings}")
  endif()
  execute_process(COMMAND sh -c "printf '%s' \"$1\" | LC_ALL=C.UTF-8 wc -L" sh "${page}"
                  OUTPUT_VARIABLE widest OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(widest GREATER 80)
    message(FATAL_ERROR "man ${program}: a line is ${widest} columns wide")
  endif()
  if(program STREQUAL "qm90")
    execute_process(COMMAND ${PREFIX}/bin/qm90 --help OUTPUT_VARIABLE help)
    string(REGEX REPLACE ".*\nSubcommands:\n" "" listed "${help}")
    string(REGEX REPLACE "\n\n.*" "" listed "${listed}")
    string(REGEX MATCHALL "(^|\n)  [a-z-]+" commands "${listed}")
    if(NOT commands)
      message(FATAL_ERROR "qm90 --help lists no subcommands")
    endif()
    foreach(command ${commands})
      string(STRIP "${command}" command)
      if(NOT page MATCHES "\n   qm90 ${command}[ \n]")
        message(FATAL_ERROR "man qm90 has no section for the subcommand ${command}")
      endif()
    endforeach()
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
