# Run by CTest: the man page renders without warnings and names every option
# that the program's --help lists, so neither can drift from the other.
#   cmake -DMAN_PAGE=<page> -DBINARY=<nodeconsole> [-DEMULATOR=<words>] -P man_page_test.cmake
cmake_minimum_required(VERSION 3.25)

set(ENV{MANWIDTH} 200)
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND man --warnings -l ${MAN_PAGE}
  OUTPUT_VARIABLE page ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man -l ${MAN_PAGE} failed (${status}):\n${warnings}")
endif()
if(NOT page MATCHES "NAME.*SYNOPSIS.*OPTIONS.*REMOTE PROCEDURES.*EXIT STATUS")
  message(FATAL_ERROR "the rendered page lacks a section:\n${page}")
endif()

separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
execute_process(COMMAND ${emulator} ${BINARY} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${BINARY} --help failed (${status})")
endif()
string(REGEX MATCHALL "--[A-Za-z-]+" options "${help}")
list(REMOVE_DUPLICATES options)
list(LENGTH options count)
if(count LESS 7)
  message(FATAL_ERROR "too few options in --help: ${options}")
endif()
foreach(option IN LISTS options)
  string(FIND "${page}" "${option}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the man page does not document ${option}")
  endif()
endforeach()
message(STATUS "the man page documents ${count} options: ${options}")
