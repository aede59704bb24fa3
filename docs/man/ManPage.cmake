# cmake -DPROGRAM=exe -DNAME=name -DSECTIONS=file.cmake -DVERSION=x.y.z -DCONFIG=dir
#       -DOUTPUT=name.1 [-DHELP_TOOL=exe] -P ManPage.cmake
# Writes the manual page of a program from the program's own help, so the page cannot drift
# from it. PROGRAM --help gives the synopsis; every command it lists ("  NAME word [word] ...",
# words in lower case before the first option or placeholder) is asked for its own --help, and
# each answer becomes a subsection of COMMANDS. With HELP_TOOL the synopsis and options come
# from that tool's output instead (for a window program that cannot print without a display).
# SECTIONS is a CMake file that sets SUMMARY, DESCRIPTION and, optionally, ENVIRONMENT, FILES
# and SEE_ALSO (roff text) for the parts no help text carries.

# Runs the program in a scratch configuration folder, in English.
set(ENV{TESSELOGRAPH_CONFIG_PATH} ${CONFIG})
set(ENV{LC_ALL} C)
set(ENV{LANGUAGE} "")

function(run_help out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE errors
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "'${ARGN}' gave no help (exit ${result}): ${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text as roff: literal lines, backslashes and hyphens escaped, no line taken for a request.
function(to_roff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE "\n." "\n\\&." text "\n${text}")
  string(REPLACE "\n'" "\n\\&'" text "${text}")
  string(SUBSTRING "${text}" 1 -1 text)
  string(REGEX REPLACE "\n+$" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

include(${SECTIONS})

if(HELP_TOOL)
  run_help(top ${HELP_TOOL})
else()
  run_help(top ${PROGRAM} --help)
endif()
to_roff(top_roff "${top}")

string(TOUPPER ${NAME} title)
set(page ".TH \"${title}\" 1 \"\" \"Tesselograph ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${SUMMARY}\n")
string(APPEND page ".SH SYNOPSIS\n.nf\n${top_roff}\n.fi\n")
string(APPEND page ".SH DESCRIPTION\n${DESCRIPTION}\n")

if(NOT HELP_TOOL)
  string(REPLACE "\n" ";" lines "${top}")
  set(commands)
  foreach(line IN LISTS lines)
    if(line MATCHES "^ +${NAME} +([a-z][a-z-]*( [a-z][a-z-]*)*)")
      list(APPEND commands "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES commands)
  if(NOT commands)
    message(FATAL_ERROR "'${PROGRAM} --help' lists no commands")
  endif()
  string(APPEND page ".SH COMMANDS\n")
  foreach(command IN LISTS commands)
    string(REPLACE " " ";" words "${command}")
    run_help(help ${PROGRAM} ${words} --help)
    to_roff(help_roff "${help}")
    string(APPEND page ".SS \"${command}\"\n.nf\n${help_roff}\n.fi\n")
  endforeach()
endif()

foreach(section IN ITEMS ENVIRONMENT FILES)
  if(DEFINED ${section})
    string(APPEND page ".SH ${section}\n${${section}}\n")
  endif()
endforeach()
if(DEFINED SEE_ALSO)
  string(APPEND page ".SH \"SEE ALSO\"\n${SEE_ALSO}\n")
endif()
file(WRITE ${OUTPUT} "${page}")
