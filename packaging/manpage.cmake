# Makes the manual page of quellmark-cli with help2man from the program's own help texts: the
# program's help gives the synopsis, options and examples, and each command's help becomes a
# part of a COMMANDS section.
# Run as: cmake -DCLI=... -DHELP2MAN=... -DOUTPUT=.../quellmark-cli.1 -P manpage.cmake
foreach(variable CLI HELP2MAN OUTPUT)
  if(NOT ${variable})
    message(FATAL_ERROR "manpage.cmake needs -D${variable}=...")
  endif()
endforeach()

# The help text of `quellmark-cli help ARGS...`, to be shown as written: backslashes and
# hyphens escaped, no line read as a request.
function(help_text variable)
  execute_process(COMMAND "${CLI}" help ${ARGN} OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} help ${ARGN} failed")
  endif()
  string(REPLACE "\\" "\\e" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  set(${variable} "${help}" PARENT_SCOPE)
endfunction()

# help2man would fill the examples into one paragraph; they keep their lines.
help_text(program)
string(REGEX REPLACE ".*\nExamples:\n" "" examples "${program}")
set(sections "[=EXAMPLES]\n.nf\n${examples}.fi\n[COMMANDS]\n")
foreach(command convert info)
  help_text(help ${command})
  string(APPEND sections ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
set(include_file "${OUTPUT}.h2m")
file(WRITE "${include_file}" "${sections}")

execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr
          --name "mark the dimensions of JWW and JWS drawings"
          --section 1 --include "${include_file}" --output "${OUTPUT}" "${CLI}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${CLI}")
endif()
