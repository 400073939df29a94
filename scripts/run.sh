#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the tool, makes a demo database
# the first time, and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/run
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUENOR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target quenor-cleaner --parallel "$(nproc)"

# A Quenor-like database with old and new rows in both log tables, made with
# isql on the embedded engine (no server needed). Kept between runs, so what
# a cleaning did stays visible; delete the folder to start afresh.
demo_dir="$PWD/build/demo"
demo="$demo_dir/QUENOR.fdb"
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
  isql-fb -q -b -i "$script"
fi
echo "Demo database: $demo"
echo "Choose it with the \"...\" button, pick a day and press \"Очистить\"."

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to open the window on (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  exit 1
fi
exec "$build/app/quenor-cleaner"
