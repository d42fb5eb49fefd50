# What a Linux desktop, man and the package tools look for outside the
# program's folder: links in bin/, manual pages, desktop entries, icons,
# AppStream metainfo, copyright and changelog. Included by Install.cmake.
set(QM90_PACKAGING ${PROJECT_SOURCE_DIR}/cmake/packaging)
set(QM90_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
string(TIMESTAMP QM90_MAN_DATE "%Y-%m-%d" UTC)

# Relative links, so that any prefix (and the package's /usr) has the same shape.
install(CODE "
  foreach(program ${QM90_LINKED_PROGRAMS})
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"../${QM90_APP_DIR}/\${program}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link} -> ../${QM90_APP_DIR}/\${program}\")
  endforeach()")

# Desktop entries, icons and the metainfo of the window programs.
foreach(entry "W_QM90;w_qm90;w_qm90" "qm90-panel;qm90_panel;qm90-panel")
  list(GET entry 0 program)
  list(GET entry 1 id)
  list(GET entry 2 icon)
  if(TARGET ${program})
    configure_file(${QM90_PACKAGING}/org.qm90.${id}.desktop.in
                   ${QM90_PACKAGING_OUT}/org.qm90.${id}.desktop @ONLY)
    install(FILES ${QM90_PACKAGING_OUT}/org.qm90.${id}.desktop DESTINATION share/applications)
    install(FILES ${QM90_PACKAGING}/${icon}.svg DESTINATION share/icons/hicolor/scalable/apps)
    if(EXISTS ${QM90_PACKAGING}/org.qm90.${id}.metainfo.xml.in)
      configure_file(${QM90_PACKAGING}/org.qm90.${id}.metainfo.xml.in
                     ${QM90_PACKAGING_OUT}/org.qm90.${id}.metainfo.xml @ONLY)
      install(FILES ${QM90_PACKAGING_OUT}/org.qm90.${id}.metainfo.xml DESTINATION share/metainfo)
    endif()
  endif()
endforeach()

# Copyright and changelog where the package tools look for them.
configure_file(${QM90_PACKAGING}/copyright.in ${QM90_PACKAGING_OUT}/copyright @ONLY)
configure_file(${QM90_PACKAGING}/changelog.in ${QM90_PACKAGING_OUT}/changelog @ONLY)
execute_process(COMMAND gzip -9n -c ${QM90_PACKAGING_OUT}/changelog
                OUTPUT_FILE ${QM90_PACKAGING_OUT}/changelog.gz)
install(FILES ${QM90_PACKAGING_OUT}/copyright ${QM90_PACKAGING_OUT}/changelog.gz
        DESTINATION ${QM90_DOC_DIR})

# Manual pages, compressed: W_QM90's is written by hand (it has no options);
# the others come from the built programs' own help (every subcommand of
# qm90), so that they cannot drift from the programs.
if(CMAKE_CROSSCOMPILING)
  return()
endif()
set(QM90_MAN_PAGES)
if(TARGET W_QM90)
  configure_file(${QM90_PACKAGING}/W_QM90.1.in ${QM90_PACKAGING_OUT}/W_QM90.1 @ONLY)
  set(page ${CMAKE_BINARY_DIR}/man/W_QM90.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nkf ${QM90_PACKAGING_OUT}/W_QM90.1
    COMMAND ${CMAKE_COMMAND} -E rename ${QM90_PACKAGING_OUT}/W_QM90.1.gz ${page}
    DEPENDS ${QM90_PACKAGING_OUT}/W_QM90.1
    COMMENT "Manual page of W_QM90")
  list(APPEND QM90_MAN_PAGES ${page})
endif()
foreach(entry
        "qm90|find, configure and test QM\\-90 modules from the command line"
        "qm90-sim|emulated QM\\-90 modules on a local UDP port and a serial pseudo\\-terminal"
        "qm90-panel|front panel of the modules that qm90\\-sim emulates"
        "qm90-drvhost|runs one QM\\-90 driver library in a process of its own")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  if(TARGET ${program})
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/manpage.sh $<TARGET_FILE:${program}> ${program}
              "${summary}" ${QM90_VERSION} ${page}
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/manpage.sh
      COMMENT "Manual page of ${program}")
    list(APPEND QM90_MAN_PAGES ${page})
  endif()
endforeach()
if(QM90_MAN_PAGES)
  add_custom_target(qm90_man_pages ALL DEPENDS ${QM90_MAN_PAGES})
  install(FILES ${QM90_MAN_PAGES} DESTINATION ${QM90_MAN_DIR})
endif()
