# Writes a man page from a program's --help and --version output.
# cmake -DPROGRAM=<path> -DNAME=<name> -DSUMMARY=<one line> -DVERSION=<v> -DOUTPUT=<file> -P ManPage.cmake
foreach(var PROGRAM NAME SUMMARY VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: ${var} not given")
  endif()
endforeach()
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help ERROR_VARIABLE help_err
                RESULT_VARIABLE rc TIMEOUT 30)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc}): ${help_err}")
endif()
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
# roff: a backslash is written \e; a line starting with . or ' is protected by \&.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" upper)
string(TIMESTAMP today "%Y-%m-%d" UTC)
file(WRITE ${OUTPUT} ".TH ${upper} 1 \"${today}\" \"${NAME} ${VERSION}\" \"W_QM90\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.B ${NAME}
[\\fIOPTIONS\\fR]
.SH DESCRIPTION
The text below is what
.B ${NAME} --help
prints.
.PP
.nf
${help}.fi
.SH SEE ALSO
The user guide (user-guide.md) in the documentation of the package.
")
