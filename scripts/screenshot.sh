#!/usr/bin/env bash
# Draws docs/window.png: the window after a successful run on a fresh demo
# database, in a Russian session on a virtual X display, as an operator sees
# it; and docs/window-progress.png: the window with its title bar during the
# backup of a larger demo database, the progress in its caption.
# Usage: bash scripts/screenshot.sh [picture.png [progress-picture.png]]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh screenshot

picture=$(realpath -m "${1:-docs/window.png}")
progress_picture=$(realpath -m "${2:-docs/window-progress.png}")
build=build/screenshot
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target quenor-window-screenshot --parallel "$(nproc)"

# A short, fixed path, as the picture shows it.
work=/tmp/quenor-demo
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
demo=$(bash scripts/demo-database.sh "$work/QUENOR.fdb")

LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb \
  xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" \
  "$build/app/quenor-window-screenshot" "$demo" "$picture"
echo "Picture: $picture"

# A fresh demo with a table of bulky rows, so that the backup lasts long
# enough to be seen part way.
rm -rf "$work"
demo=$(bash scripts/demo-database.sh "$work/QUENOR.fdb")
bulk=$(mktemp)
cat >"$bulk" <<SQL
CREATE TABLE ATTACHMENTS (BODY VARCHAR(4000));
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN
  WHILE (i < 40000) DO BEGIN INSERT INTO ATTACHMENTS VALUES (LPAD(:i, 4000, 'x')); i = i + 1; END
END^
SET TERM ; ^
COMMIT;
SQL
isql-fb -q -b -user SYSDBA -password plumtiger -i "$bulk" "$demo" >&2
rm -f "$bulk"
LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb \
  xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" \
  sh -c 'openbox >/dev/null 2>&1 & sleep 1; exec "$@"' sh \
  "$build/app/quenor-window-screenshot" "$demo" "$progress_picture" --during-backup
echo "Picture: $progress_picture"
