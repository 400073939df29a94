# The release record is the top entry of packaging/debian/changelog: the
# Debian package carries it, and the AppStream release takes its date from
# it. Its version must be the project's, so that the package, the programs'
# version records and the AppStream release never disagree.
# Sets QUENOR_RELEASE_DATE (YYYY-MM-DD).
set(changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_lines)

list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^quenor-cleaner \\(([^)]+)\\)")
  message(FATAL_ERROR "${changelog}: the first line is not an entry's heading: '${changelog_head}'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${changelog} starts with version ${CMAKE_MATCH_1}, the project is "
                      "${PROJECT_VERSION}: add an entry for the new version.")
endif()

# The entry's trailer: " -- Name <mail>  Thu, 10 Dec 2026 00:00:00 +0000".
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(day ${CMAKE_MATCH_1})
    set(year ${CMAKE_MATCH_3})
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months ${CMAKE_MATCH_2} month_index)
    math(EXPR month "${month_index} + 1")
    if(month_index LESS 0)
      message(FATAL_ERROR "${changelog}: unknown month in '${line}'")
    endif()
    string(LENGTH "${day}" day_digits)
    if(day_digits EQUAL 1)
      set(day 0${day})
    endif()
    if(month LESS 10)
      set(month 0${month})
    endif()
    set(QUENOR_RELEASE_DATE ${year}-${month}-${day})
    break()
  endif()
endforeach()
if(NOT QUENOR_RELEASE_DATE)
  message(FATAL_ERROR "${changelog}: the top entry has no trailer line with its date")
endif()
