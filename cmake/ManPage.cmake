# Writes a manual page from a program's own --help and --version, for machines without
# help2man: the help text stands as the page's description, set as it prints.
#   cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DOUTPUT=page -P ManPage.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc})")
endif()
execute_process(COMMAND ${PROGRAM} --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
# troff reads a backslash as an escape and a line starting with a dot or a quote as a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUTPUT} ".TH ${NAME} 1 \"\" \"${version}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
")
