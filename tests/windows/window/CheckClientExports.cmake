# Checks the 32-bit stand-in client's exports against the real client's
# __stdcall entry points in ClientExports.txt. The linker's gds32.def has a
# line `name = name@bytes @ordinal` for each: the plain name is what callers
# look up, and @bytes is what the function pops, fixed by its argument list.
# A wrong argument list changes the bytes, which would unbalance the caller's
# stack on 32-bit Windows; a lost __stdcall drops them, and a lost --kill-at
# leaves the exported name decorated. Needs no Wine, so it runs even where
# 32-bit programs cannot.
# Usage: cmake -D def=<path>/gds32.def -P CheckClientExports.cmake

if(NOT DEFINED def)
  message(FATAL_ERROR "usage: cmake -D def=<path>/gds32.def -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
if(NOT EXISTS "${def}")
  # Lines that start with spaces are printed as they are, not rewrapped.
  message(FATAL_ERROR "the 32-bit stand-in client (gds32.dll) is not built:\n  no ${def}")
endif()
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/ClientExports.txt" expected REGEX "^(isc|fb)_")

file(STRINGS "${def}" lines REGEX "^[ \t]*(isc|fb)_")
set(actual "")
set(unexpected "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^((isc|fb)_[a-z0-9_]+) = ((isc|fb)_[a-z0-9_]+)@([0-9]+) @[0-9]+$"
     AND CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_3)
    list(APPEND actual "${CMAKE_MATCH_1}@${CMAKE_MATCH_5}")
  else()
    list(APPEND unexpected "'${line}'")
  endif()
endforeach()

set(missing ${expected})
if(actual)
  list(REMOVE_ITEM missing ${actual})
endif()
set(extra ${actual})
if(expected)
  list(REMOVE_ITEM extra ${expected})
endif()
list(APPEND unexpected ${extra})

if(missing OR unexpected)
  list(JOIN missing " " missing)
  list(JOIN unexpected " " unexpected)
  message(FATAL_ERROR "the stand-in client's exports differ from the client's:\n"
    "  in: ${def}\n  missing: ${missing}\n  unexpected: ${unexpected}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exports, each plain-named and popping its prototype's bytes")
