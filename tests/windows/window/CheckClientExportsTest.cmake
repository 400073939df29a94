# The export check against .def files written here, one for each way the
# stand-in's exports can go wrong and two that are right: each must pass or
# fail as listed, and a failure must name what is wrong. Writes only inside
# `work`.
# Usage: cmake -D work=<folder> -P CheckClientExportsTest.cmake

if(NOT DEFINED work)
  message(FATAL_ERROR "usage: cmake -D work=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
set(check ${CMAKE_CURRENT_LIST_DIR}/CheckClientExports.cmake)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/ClientExports.txt exports REGEX "^(isc|fb)_")
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

# The .def line the linker writes for `name@bytes` at `ordinal`.
function(def_line export ordinal result)
  string(REGEX REPLACE "@[0-9]+$" "" name "${export}")
  set(${result} "    ${name} = ${export} @${ordinal}" PARENT_SCOPE)
endfunction()

list(GET exports 0 first)
string(REGEX REPLACE "@[0-9]+$" "" first_name "${first}")
string(REGEX REPLACE "^.*@" "" first_bytes "${first}")
math(EXPR wrong_bytes "${first_bytes} + 4")
list(GET exports 1 second)

# The export lines of each case, joined by newlines: a case is one item of
# the list below, so they cannot be a list themselves.
set(lines "")
set(n 0)
foreach(export IN LISTS exports)
  math(EXPR n "${n} + 1")
  def_line(${export} ${n} line)
  list(APPEND lines "${line}")
endforeach()
list(JOIN lines "\n" all)
set(reversed ${lines})
list(REVERSE reversed)
list(JOIN reversed "\n" reversed)
set(without_second ${lines})
list(REMOVE_AT without_second 1)
list(JOIN without_second "\n" without_second)
set(rest ${lines})
list(REMOVE_AT rest 0)
list(JOIN rest "\n" rest)
def_line(${first_name}@${wrong_bytes} 1 wrong_first)
def_line(isc_blob_info@24 99 blob_info)

# case | passes | what its failure must say | the .def's export lines (`-`: no .def)
set(cases
  "all|1||${all}"
  "all, in another order|1||${reversed}"
  "one missing|0|missing: ${second}|${without_second}"
  "wrong argument bytes|0|unexpected: ${first_name}@${wrong_bytes}|${wrong_first}\n${rest}"
  "without __stdcall|0|'${first_name} @1'|    ${first_name} @1\n${rest}"
  "exported decorated|0|'${first} @1'|    ${first} @1\n${rest}"
  "another function behind the name|0|'${first_name} = isc_other@${first_bytes} @1'|    ${first_name} = isc_other@${first_bytes} @1\n${rest}"
  "one more|0|unexpected: isc_blob_info@24|${all}\n${blob_info}"
  "no .def|0|is not built|-")

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
  string(REGEX MATCH "^([^|]*)\\|([01])\\|([^|]*)\\|(.*)$" _ "${case}")
  set(name "${CMAKE_MATCH_1}")
  set(passes ${CMAKE_MATCH_2})
  set(says "${CMAKE_MATCH_3}")
  set(body "${CMAKE_MATCH_4}")
  math(EXPR index "${index} + 1")
  set(def ${work}/case-${index}.def)
  if(NOT body STREQUAL "-")
    file(WRITE ${def} "EXPORTS\n${body}\n")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -D def=${def} -P ${check}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 20)
  if(passes AND NOT rc EQUAL 0)
    string(APPEND failures "${name}: failed, should pass:\n${out}\n")
  elseif(NOT passes AND rc EQUAL 0)
    string(APPEND failures "${name}: passed, should fail:\n${out}\n")
  elseif(NOT passes)
    string(FIND "${out}" "${says}" at)
    if(at EQUAL -1)
      string(APPEND failures "${name}: the failure does not say \"${says}\":\n${out}\n")
    endif()
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "the export check is wrong:\n${failures}")
endif()
list(LENGTH cases count)
message(STATUS "the export check passed and failed as it should in ${count} cases")
