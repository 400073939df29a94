# What Wine's ReportEventW is given for a run's entry in the Application log.
# Wine keeps no log to read back, but its ReportEventW writes each call on
# its debug channels: the type and the id (advapi's fixme line), then the
# text (the eventlog channel: trace for information, warn and err for the
# others), UTF-16 written as \XXXX escapes and cut after some 80 characters.
# Runs quenor-cleaner-cli.exe as the Task Scheduler would, to the outcomes it
# reaches without a Firebird client, and event_log_writer for the kinds no
# such run has.
# Usage: cmake -D wine=<loader> -D cli=<quenor-cleaner-cli.exe>
#              -D writer=<event_log_writer.exe> -D work=<folder> -P EventEntryUnderWine.cmake

foreach(variable wine cli writer work)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "usage: cmake -D wine=<loader> -D cli=<exe> -D writer=<exe> -D work=<folder> "
                        "-P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
endforeach()

file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(WRITE "${work}/MAIN.fdb" "pretend database")
# The folder as Wine's drive Z: (the Unix root) names it.
string(REPLACE "/" "\\" database "Z:${work}/MAIN.fdb")
string(REPLACE "/" "\\" greek "Z:${work}/Βάση.fdb")
# A Firebird registered with its gbak, so that the run goes past its
# preflight to the attach, which finds no client.
file(WRITE "${work}/firebird/gbak.exe" "")
string(REPLACE "/" "\\" firebird "Z:${work}/firebird")
set(firebird_key "HKLM\\Software\\Firebird Project\\Firebird Server\\Instances")
execute_process(COMMAND "${wine}" reg add "${firebird_key}" /v DefaultInstance /d "${firebird}" /f
                RESULT_VARIABLE registered OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
if(NOT registered EQUAL 0)
  message(FATAL_ERROR "cannot register the stand-in Firebird: ${registered}")
endif()
set(ENV{WINEDEBUG} "-all,fixme+advapi,+eventlog")

# check(<name> <exit code> <type> <id> <channel> <text> <program> <argument>...):
# the program's one ReportEventW call has that type, id and channel, and its
# text begins with <text> (as Wine writes it).
function(check name exit_code type id channel text program)
  execute_process(COMMAND "${wine}" "${program}" ${ARGN}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE log TIMEOUT 120)
  set(problems "")
  if(NOT result STREQUAL exit_code)
    string(APPEND problems "\n  exit code ${result}, expected ${exit_code}")
  endif()
  string(REGEX MATCHALL "fixme:advapi:ReportEventW \\([0-9A-Fa-f]+,0x([0-9a-f]+),0x0000,0x([0-9a-f]+),[0-9A-Fa-f]+,0x0001,"
         calls "${log}")
  list(LENGTH calls count)
  if(NOT count EQUAL 1)
    string(APPEND problems "\n  ${count} calls of ReportEventW with one string, expected one")
  elseif(NOT calls MATCHES ",0x([0-9a-f]+),0x0000,0x([0-9a-f]+),"
         OR NOT CMAKE_MATCH_1 STREQUAL type OR NOT CMAKE_MATCH_2 STREQUAL id)
    string(APPEND problems "\n  type 0x${CMAKE_MATCH_1} and id 0x${CMAKE_MATCH_2}, expected 0x${type} and 0x${id}")
  endif()
  string(FIND "${log}" "${channel}:eventlog:ReportEventW L\"${text}" at)
  if(at EQUAL -1)
    string(APPEND problems "\n  no ${channel} line of the eventlog channel with the text ${text}")
  endif()
  if(problems)
    message(SEND_ERROR "${name}:${problems}\n  Wine's log:\n${log}")
  else()
    message(STATUS "${name}: type 0x${type}, id 0x${id}, the text on ${channel}")
  endif()
endfunction()

# "Сохранение оригинального файла БД (*.fdb -> *.bak)...", the next lines
# after CR LF: the lines in the order of standard output.
check("no client: rolled back" 2 0001 000003ea err
  [[\0421\043e\0445\0440\0430\043d\0435\043d\0438\0435 \043e\0440\0438\0433\0438\043d\0430\043b\044c\043d\043e\0433\043e \0444\0430\0439\043b\0430 \0411\0414 (*.fdb -> *.bak)...\r\n...Ok\r\nAn exception occured during open database.\r\n]]
  "${cli}" --database "${database}" --keep-days 7)
# "В пути к файлу БД есть буквы, ...": a path the code page cannot hold.
check("a Greek folder: refused" 1 0002 000003e9 warn
  [[\0412 \043f\0443\0442\0438 \043a \0444\0430\0439\043b\0443 \0411\0414 ]]
  "${cli}" --database "${greek}" --keep-days 7)
check("a usage error" 64 0001 00000428 err
  [[quenor-cleaner: --before needs a day that exists, as YYYY-MM-DD: '2026-02-30' (see --help)"]]
  "${cli}" --database "${database}" --before 2026-02-30)
# A run's last lines as the console run has them: an empty line, then
# "Done!".
check("information" 0 0004 000003e8 trace [[\r\nDone!"]] "${writer}" 1000 information "\nDone!")
check("warning" 0 0002 000003ec warn [[a\r\nb"]] "${writer}" 1004 warning "a\nb")
check("error" 0 0001 000003eb err [[a"]] "${writer}" 1003 error a)

set(ENV{WINEDEBUG} "-all")
execute_process(COMMAND "${wine}" reg delete "HKLM\\Software\\Firebird Project" /f OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
