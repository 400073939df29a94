#!/usr/bin/env bash
# Makes the demo database at the path given (default build/demo/QUENOR.fdb)
# unless it is there already: a Quenor-like database with old and new rows in
# both log tables, made with isql on the embedded engine (no server needed).
# Prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."

demo=$(realpath -m "${1:-build/demo/QUENOR.fdb}")
demo_dir=$(dirname "$demo")
if [[ ! -e "$demo" ]]; then
  mkdir -p "$demo_dir"
  script=$(mktemp)
  trap 'rm -f "$script"' EXIT
  cat >"$script" <<SQL
SET NAMES UTF8;
CREATE DATABASE '$demo' USER 'SYSDBA' PASSWORD 'plumtiger' DEFAULT CHARACTER SET WIN1251;
CREATE TABLE log (
  id INTEGER NOT NULL PRIMARY KEY,
  log_time TIMESTAMP NOT NULL,
  user_name VARCHAR(31),
  workstation VARCHAR(63),
  event_text VARCHAR(255)
);
CREATE TABLE ERRORS_LOG (
  ID INTEGER NOT NULL PRIMARY KEY,
  ERR_BEGIN TIMESTAMP NOT NULL,
  ERR_END TIMESTAMP,
  MODULE VARCHAR(63),
  ERR_CODE INTEGER,
  MESSAGE VARCHAR(255)
);
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE i INTEGER = 0;
  DECLARE t TIMESTAMP;
BEGIN
  -- One event every six hours from 1998 to the end of 2001: old and new rows
  -- on both sides of the calendar's first date, 1 January 2000.
  WHILE (i < 5840) DO
  BEGIN
    t = DATEADD(i * 6 HOUR TO TIMESTAMP '1998-01-01 08:00:00');
    INSERT INTO log VALUES (:i, :t, IIF(MOD(:i, 3) = 0, 'OPERATOR', 'KASSA' || MOD(:i, 4)),
      'WS-' || MOD(:i, 7), IIF(MOD(:i, 2) = 0, 'Вход в систему', 'Печать отчёта № ' || :i));
    IF (MOD(i, 20) = 0) THEN
      INSERT INTO ERRORS_LOG VALUES (:i, :t, DATEADD(90 SECOND TO :t), 'Exchange',
        MOD(:i, 5) + 100, 'Нет связи с сервером обмена');
    i = i + 1;
  END
END^
SET TERM ; ^
COMMIT;
SQL
  isql-fb -q -b -i "$script" >&2
fi
echo "$demo"
