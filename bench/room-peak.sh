#!/bin/bash
# Measures how much room a whole cleaning run takes at its peak, beyond the
# database itself, on databases of the benchmark's shape and on one with
# large rows: the figures the run's room check is judged against. Each
# database goes on a tmpfs of its own, whose used space is sampled while the
# real program runs on it from the command line; so is the space of the
# folder where gbak's restore sorts the index keys (FIREBIRD_TMP), on a tmpfs
# of its own too.
#   bench/room-peak.sh [PROGRAM] [ROWS...]
#     PROGRAM: the quenor-cleaner to run (default: build/test/app/quenor-cleaner)
#     ROWS:    log rows of the narrow databases (default: 100000 1000000)
# Needs root (the tmpfs mounts).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/test/app/quenor-cleaner}
shift || true
[[ $# -gt 0 ]] || set -- 100000 1000000
[[ -x "$program" ]] || { echo "room-peak.sh: no program at $program" >&2; exit 2; }

work=$(mktemp -d)
cleanup() {
  mountpoint -q "$work/disk" 2>/dev/null && umount "$work/disk"
  mountpoint -q "$work/sort" 2>/dev/null && umount "$work/sort"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/disk" "$work/sort"
export ISC_USER=SYSDBA ISC_PASSWORD=masterkey

# The same in both shapes: only log's rows change width.
errors_log_table='CREATE TABLE ERRORS_LOG (id INTEGER NOT NULL PRIMARY KEY, ERR_BEGIN TIMESTAMP,
  ERR_END TIMESTAMP NOT NULL, user_name VARCHAR(31), error_code INTEGER, message VARCHAR(250));'

# Half the rows of each table are stamped before 2020-01-01, the cut-off.
narrow_fill() {  # rows
  cat <<EOF
CREATE TABLE log (id INTEGER NOT NULL PRIMARY KEY, log_time TIMESTAMP NOT NULL,
  user_name VARCHAR(31), message VARCHAR(250));
$errors_log_table
CREATE INDEX log_time_idx ON log (log_time);
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
DECLARE i INTEGER = 0;
DECLARE t VARCHAR(500) = 'Session closed by the scheduler after the nightly export of 4711 invoices; 12 warnings were written to the journal, the queue was drained in 3.2 s and the cache of price lists was rebuilt from branch office data before the morning shift, while operator Petrova confirmed receipt of goods';
BEGIN
  WHILE (i < $1) DO BEGIN
    INSERT INTO log VALUES (:i, DATEADD((:i - $1 / 2) * 30 SECOND TO TIMESTAMP '2020-01-01 00:00:00'),
      'user' || MOD(:i, 37), SUBSTRING(:t FROM 1 + MOD(:i * 7, 100) FOR 100 + MOD(:i, 101)));
    INSERT INTO ERRORS_LOG VALUES (:i, NULL, DATEADD((:i - $1 / 2) * 30 SECOND TO TIMESTAMP '2020-01-01 00:00:00'),
      'user' || MOD(:i, 37), MOD(:i * 31, 1000), SUBSTRING(:t FROM 1 + MOD(:i * 13, 100) FOR 100 + MOD(:i * 3, 101)));
    i = i + 1;
  END
END^
SET TERM ;^
COMMIT;
EOF
}

# Rows of several kilobytes of text that does not pack, and a blob each.
wide_fill() {  # rows
  cat <<EOF
CREATE TABLE log (id INTEGER NOT NULL PRIMARY KEY, log_time TIMESTAMP NOT NULL,
  user_name VARCHAR(31), message VARCHAR(8000), details BLOB SUB_TYPE TEXT);
$errors_log_table
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
DECLARE i INTEGER = 0;
DECLARE t VARCHAR(8000);
BEGIN
  WHILE (i < $1) DO BEGIN
    t = '';
    WHILE (CHAR_LENGTH(t) < 6000) DO t = t || UUID_TO_CHAR(GEN_UUID());
    INSERT INTO log VALUES (:i, DATEADD((:i - $1 / 2) * 30 SECOND TO TIMESTAMP '2020-01-01 00:00:00'),
      'user' || MOD(:i, 37), :t, :t || :t);
    i = i + 1;
  END
END^
SET TERM ;^
COMMIT;
EOF
}

used() { stat -f -c '%b %a %S' "$1" | awk '{ print ($1 - $2) * $3 }'; }

measure() {  # name fill rows
  local name=$1 fill=$2 rows=$3 db="$work/disk/MAIN.fdb"
  mount -t tmpfs -o size=16g tmpfs "$work/disk"
  mount -t tmpfs -o size=16g tmpfs "$work/sort"
  { echo "CREATE DATABASE '$db' DEFAULT CHARACTER SET WIN1251;"; "$fill" "$rows"; } >"$work/fill.sql"
  isql-fb -q -b -i "$work/fill.sql" >/dev/null
  local size base peak=0 now sortBase sortPeak=0
  size=$(stat -c %s "$db")
  base=$(used "$work/disk")
  sortBase=$(used "$work/sort")
  FIREBIRD_TMP="$work/sort" "$program" --database "$db" --before 2020-01-01 >"$work/run.log" 2>&1 &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    now=$(used "$work/disk")
    ((now > peak)) && peak=$now
    now=$(used "$work/sort")
    ((now > sortPeak)) && sortPeak=$now
    sleep 0.01
  done
  wait "$pid" || { echo "room-peak.sh: the run failed:" >&2; cat "$work/run.log" >&2; exit 1; }
  local after fdk
  after=$(stat -c %s "$db")
  fdk=$(stat -c %s "$work/disk/MAIN.fdk")
  awk -v n="$name" -v r="$rows" -v s="$size" -v p="$((peak - base))" -v a="$after" -v k="$fdk" \
      -v t="$((sortPeak - sortBase))" 'BEGIN {
    printf "%-7s %8d rows  database %7.1f MiB  peak beyond it %7.1f MiB = %.2f x database  (backup %.2f x, restored %.2f x)  sort space %.2f x\n",
      n, r, s / 1048576, p / 1048576, p / s, k / s, a / s, t / s }'
  umount "$work/disk"
  umount "$work/sort"
}

for rows in "$@"; do
  measure narrow narrow_fill "$rows"
done
measure wide wide_fill 4000
