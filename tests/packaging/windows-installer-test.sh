#!/usr/bin/env bash
# Installs and uninstalls quenor-cleaner under Wine with the packages of
# scripts/windows-packages.sh, once per case below, each case in a fresh Wine
# prefix: Firebird registered for 64-bit programs, for 32-bit programs, for
# both, not at all, and a machine whose Firebird changed bitness since the
# last install. Each case checks which program was installed and where, the
# Start-menu shortcut, the uninstall entry, what the installer reported, that
# the program starts, and that the silent uninstall leaves the machine as it
# was. The 64-bit installer is run always; the 32-bit one too where 32-bit
# Wine runs. Also checks the portable zip. Every step has a time limit.
# Usage: bash tests/packaging/windows-installer-test.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

bash scripts/setup.sh windows

packages=build/packages
work=$(realpath -m build/installer-test)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
version=$(sed -n 's/^!define QUENOR_VERSION "\(.*\)"$/\1/p' build/windows-64-release/packaging/version.nsh)
# The window's caption, as the program's own form describes it.
caption=$(sed -n 's/^inline constexpr std::string_view Caption = "\(.*\)";$/\1/p' ui/FormDesign.h)
# The event source the program writes its entries under.
event_source=$(sed -n 's/^inline constexpr const char\* EventSourceName = "\(.*\)";$/\1/p' platform/EventLog.h)
[[ -n "$version" && -n "$caption" && -n "$event_source" ]] ||
  { echo "windows-installer-test.sh: no version, caption or event source found" >&2; exit 2; }

declare -A release_exe=([64]=build/windows-64-release/quenor-cleaner.exe [32]=build/windows-32-release/quenor-cleaner.exe)
# IMAGE_FILE_HEADER.Machine: AMD64 and I386.
declare -A pe_machine=([64]=8664 [32]=014c)
declare -A program_files=([64]='Program Files' [32]='Program Files (x86)')
declare -A firebird_folder=([64]='C:\Program Files\Firebird\Firebird_3_0\' [32]='C:\Program Files (x86)\Firebird\Firebird_3_0\')
firebird_key='HKLM\Software\Firebird Project\Firebird Server\Instances'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuenorCleaner'
event_source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\'"$event_source"
folder='Quenor Cleaner'
shortcut='ProgramData/Microsoft/Windows/Start Menu/Programs/Quenor database cleaner.lnk'

# name | Firebird registered for (bits, before -> now) | session language |
# program expected | what the installer must report
cases=(
  "firebird-64|64|en_US|64|Firebird is registered for 64-bit programs: ${firebird_folder[64]}"
  "firebird-32|32|ru_RU|32|Firebird зарегистрирован для 32-разрядных программ: ${firebird_folder[32]}"
  "firebird-both|64 32|ru_RU|64|Firebird зарегистрирован для 64-разрядных программ: ${firebird_folder[64]}"
  "no-firebird|-|en_US|64|No Firebird installation was found in the registry (${firebird_key}, DefaultInstance). The 64-bit program is installed;"
  "firebird-32-then-64|32->64|en_US|64|Removing the earlier installation of the other bitness: C:\\${program_files[32]}\\$folder"
)

failures=0
case_failures=0
fail() {
  echo "    FAIL: $*"
  case_failures=$((case_failures + 1))
}
ok() { echo "    ok: $*"; }
expect_eq() {  # what, actual, expected
  if [[ "$2" == "$3" ]]; then ok "$1"; else fail "$1: got '$2', expected '$3'"; fi
}

source scripts/virtual-display.sh
cleanup() {
  if [[ -n "${WINEPREFIX:-}" && -d "${WINEPREFIX:-}" ]]; then timeout 60 "$wineserver" -k 2>/dev/null || true; fi
  stop_display
}
trap cleanup EXIT

# A key's values as `reg query` lists them, in the given view (64 or 32).
reg_values() {  # key, view
  { timeout 60 "$wine" reg query "$1" "/reg:$2" 2>/dev/null </dev/null || true; } | tr -d '\r'
}
# One value's data from such a list.
value_of() {  # list, value name
  sed -n "s/^    $2    REG_[A-Z_]*    //p" <<<"$1"
}
reg_key_exists() {  # key, view
  timeout 60 "$wine" reg query "$1" "/reg:$2" >/dev/null 2>&1 </dev/null
}
# Everything on drive C but Wine's own Windows folder and the temporary
# folders, where the installer unpacks its plugins and the uninstaller
# copies itself to run.
drive_c_listing() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -print | sort)
}
# A missing Uninstall key counts as an empty one: a fresh 64-bit Wine prefix
# has none in the 32-bit view, which any installer's entry then makes.
uninstall_entries() {  # view
  { timeout 60 "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$1" </dev/null ||
    true; } | tr -d '\r' | grep -v '^reg: ' || true
}

register_firebird() {  # view
  timeout 60 "$wine" reg add "$firebird_key" /v DefaultInstance /d "${firebird_folder[$1]}" /f "/reg:$1" \
    >/dev/null </dev/null
}
# A folder standing in for a Firebird installation, which the installer and
# the uninstaller must leave alone.
make_firebird_folder() {  # bits
  local path=${firebird_folder[$1]//\\//}
  mkdir -p "$WINEPREFIX/drive_c/${path#C:/}"
  echo "stands in for Firebird" >"$WINEPREFIX/drive_c/${path#C:/}firebird.conf"
}

run_installer() {  # installer, language
  local status=0
  LANG=$2.UTF-8 LC_ALL=$2.UTF-8 wine_run 120 "$1" /S || status=$?
  timeout 120 "$wineserver" -w || true
  return "$status"
}

# The top-level window showing the program's caption, on the test's display.
find_window() {
  local id
  for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    if [[ "$(LC_ALL=C.UTF-8 xprop -id "$id" _NET_WM_NAME 2>/dev/null)" == "_NET_WM_NAME(UTF8_STRING) = \"$caption\"" ]]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

check_installed() {  # program bits expected, line the installer must report
  local bits=$1 other=$(( $1 == 64 ? 32 : 64 ))
  local dir="$WINEPREFIX/drive_c/${program_files[$bits]}/$folder"
  local windows_dir="C:\\${program_files[$bits]}\\$folder"

  expect_eq "files in $windows_dir" "$(ls "$dir" 2>/dev/null | tr '\n' ' ')" \
    "LICENSE.txt quenor-cleaner-cli.exe quenor-cleaner.exe setup.log uninstall.exe "
  [[ ! -e "$WINEPREFIX/drive_c/${program_files[$other]}/$folder" ]] && ok "nothing in ${program_files[$other]}" ||
    fail "${program_files[$other]}/$folder exists"
  cmp -s "$dir/quenor-cleaner.exe" "${release_exe[$bits]}" && ok "the $bits-bit release program installed" ||
    fail "quenor-cleaner.exe is not ${release_exe[$bits]}"
  local lfanew machine
  lfanew=$(od -An -tu4 -j60 -N4 "$dir/quenor-cleaner.exe" 2>/dev/null | tr -d ' ' || true)
  machine=$(od -An -tx2 -j$((${lfanew:-0} + 4)) -N2 "$dir/quenor-cleaner.exe" 2>/dev/null | tr -d ' ' || true)
  expect_eq "PE machine of the installed program" "$machine" "${pe_machine[$bits]}"
  tr -d '\r' <"$dir/LICENSE.txt" 2>/dev/null | cmp -s - LICENSE && ok "LICENSE.txt is the licence" ||
    fail "LICENSE.txt differs from LICENSE"

  [[ -f "$WINEPREFIX/drive_c/$shortcut" ]] && ok "all users' Start-menu shortcut" || fail "no $shortcut"
  strings "$WINEPREFIX/drive_c/$shortcut" 2>/dev/null | grep -qxF "$windows_dir\\quenor-cleaner.exe" &&
    ok "the shortcut points at the installed program" || fail "the shortcut does not name $windows_dir\\quenor-cleaner.exe"
  [[ -z "$(find "$WINEPREFIX/drive_c/users" -name 'Quenor database cleaner.lnk' 2>/dev/null)" ]] &&
    ok "no per-user shortcut" || fail "a per-user shortcut was made"

  # The uninstall entry, in the registry view of the program's bitness.
  local size=0 file
  for file in "$dir"/*; do
    [[ -f "$file" ]] && size=$((size + $(stat -c %s "$file")))
  done
  local expected=(
    "DisplayName=Quenor database cleaner"
    "DisplayVersion=$version"
    "Publisher=The Quenor cleaner developers"
    "DisplayIcon=$windows_dir\\quenor-cleaner.exe"
    "InstallLocation=$windows_dir"
    "UninstallString=\"$windows_dir\\uninstall.exe\""
    "QuietUninstallString=\"$windows_dir\\uninstall.exe\" /S"
    "NoModify=0x1"
    "NoRepair=0x1"
    "EstimatedSize=$(printf '0x%x' $((size / 1024)))"
  )
  local entry values
  values=$(reg_values "$uninstall_key" "$bits")
  for entry in "${expected[@]}"; do
    expect_eq "uninstall entry ($bits-bit view) ${entry%%=*}" "$(value_of "$values" "${entry%%=*}")" "${entry#*=}"
  done
  reg_key_exists "$uninstall_key" "$other" && fail "an uninstall entry in the $other-bit view" ||
    ok "no uninstall entry in the $other-bit view"

  # The event source, whose message file gives the program's entries in
  # the Application log their text.
  values=$(reg_values "$event_source_key" 64)
  expect_eq "event source EventMessageFile" "$(value_of "$values" EventMessageFile)" \
    "$windows_dir\\quenor-cleaner-cli.exe"
  expect_eq "event source TypesSupported" "$(value_of "$values" TypesSupported)" "0x7"

  iconv -f UTF-16 -t UTF-8 "$dir/setup.log" 2>/dev/null | grep -qF "$2" &&
    ok "setup.log reports: $2" || fail "setup.log lacks: $2"
}

check_program_starts() {  # program bits
  local bits=$1 id pid give_up
  if [[ $bits == 32 && -z "$wine32_runs" ]]; then
    echo "    skipped: the 32-bit program cannot be started on this machine (no 32-bit Wine); its PE machine was checked"
    return 0
  fi
  # Through the shortcut, as an operator starts it.
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 wine_run 60 start "C:\\${shortcut//\//\\}" || fail "start through the shortcut"
  # Wine can take long to start a program on a busy machine.
  for ((give_up = SECONDS + 90; SECONDS < give_up;)); do id=$(find_window) && break; sleep 0.5; done
  if [[ -z "${id:-}" ]]; then
    fail "no window titled '$caption' within 90 s"
  else
    pid=$(xprop -id "$id" _NET_WM_PID 2>/dev/null | sed -n 's/.* = //p' || true)
    # Wine shows a program's Windows command line as its own.
    if tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -1 |
      grep -qxF "C:\\${program_files[$bits]}\\$folder\\quenor-cleaner.exe"; then
      ok "the installed program shows its window '$caption'"
    else
      fail "the window '$caption' belongs to another program"
    fi
  fi
  timeout 60 "$wineserver" -k 2>/dev/null || true
  timeout 60 "$wineserver" -w 2>/dev/null || true
}

uninstall_and_check() {  # program bits, drive C listing before, uninstall entries before (64, 32)
  local bits=$1
  local windows_dir="C:\\${program_files[$bits]}\\$folder"
  wine_run 120 "$windows_dir\\uninstall.exe" /S && ok "silent uninstall" || fail "the uninstaller failed"
  # It copies itself to a temporary folder and runs from there.
  timeout 120 "$wineserver" -w || fail "the uninstaller did not end"
  [[ ! -e "$WINEPREFIX/drive_c/${program_files[$bits]}/$folder" ]] && ok "the folder is gone" ||
    fail "${program_files[$bits]}/$folder is left"
  [[ ! -e "$WINEPREFIX/drive_c/$shortcut" ]] && ok "the shortcut is gone" || fail "the shortcut is left"
  local view
  for view in 64 32; do
    reg_key_exists "$uninstall_key" "$view" && fail "the uninstall entry is left in the $view-bit view" ||
      ok "no uninstall entry in the $view-bit view"
  done
  reg_key_exists "$event_source_key" 64 && fail "the event source is left" || ok "the event source is gone"
  expect_eq "drive C as before the install" "$(drive_c_listing | diff <(echo "$2") - | grep '^[<>]' || true)" ""
  expect_eq "other uninstall entries (64-bit view) as before" "$(uninstall_entries 64)" "$3"
  expect_eq "other uninstall entries (32-bit view) as before" "$(uninstall_entries 32)" "$4"
}

run_case() {  # installer, name, Firebird bits, language, program bits, reported line
  local installer=$1 name=$2 firebird=$3 language=$4 bits=$5 report=$6
  echo "== $(basename "$installer"): $name"
  case_failures=0
  SECONDS=0
  mkdir -p "$work/$name"
  # Wine's start-up noise goes to a file; wine-prefix.sh stops the test on
  # any failure.
  source scripts/wine-prefix.sh "$work/$name/wineprefix" "$wine" "$wineserver" >"$work/$name/wineboot.log" 2>&1
  local before before64 before32 view
  for view in ${firebird//[->]/ }; do make_firebird_folder "$view"; done
  before=$(drive_c_listing)
  before64=$(uninstall_entries 64)
  before32=$(uninstall_entries 32)

  if [[ $firebird == *"->"* ]]; then
    # Installed once for the Firebird of then, which is then replaced.
    register_firebird "${firebird%->*}"
    run_installer "$installer" "$language" && ok "installed for the ${firebird%->*}-bit Firebird" ||
      fail "the first installer run failed"
    timeout 60 "$wine" reg delete "$firebird_key" /f "/reg:${firebird%->*}" >/dev/null </dev/null
    firebird=${firebird#*->}
  fi
  for view in $firebird; do
    [[ $view == - ]] || register_firebird "$view"
  done

  run_installer "$installer" "$language" && ok "silent install" || fail "the installer failed"
  check_installed "$bits" "$report"
  check_program_starts "$bits"
  uninstall_and_check "$bits" "$before" "$before64" "$before32"
  for view in ${firebird//-/}; do
    expect_eq "Firebird's registration ($view-bit view) kept" \
      "$(value_of "$(reg_values "$firebird_key" "$view")" DefaultInstance)" "${firebird_folder[$view]}"
  done

  timeout 60 "$wineserver" -k 2>/dev/null || true
  if [[ $case_failures -eq 0 ]]; then
    echo "   PASS $name (${SECONDS}s)"
    # About 700 MB each; a failed case's prefix is kept to look into.
    rm -rf "$work/$name"
  else
    echo "   FAIL $name ($case_failures checks; prefix kept in $work/$name)"
    failures=$((failures + 1))
  fi
}

check_zip() {
  local zip=$packages/quenor-cleaner-$version-windows.zip
  echo "== $(basename "$zip")"
  case_failures=0
  expect_eq "zip contents" "$(timeout 60 unzip -Z1 "$zip" | sort | tr '\n' ' ')" \
    "LICENSE.txt x64/ x64/quenor-cleaner-cli.exe x64/quenor-cleaner.exe x86/ x86/quenor-cleaner-cli.exe x86/quenor-cleaner.exe "
  timeout 60 unzip -p "$zip" x64/quenor-cleaner.exe | cmp -s - "${release_exe[64]}" && ok "x64 is the 64-bit release program" ||
    fail "x64/quenor-cleaner.exe differs"
  timeout 60 unzip -p "$zip" x86/quenor-cleaner.exe | cmp -s - "${release_exe[32]}" && ok "x86 is the 32-bit release program" ||
    fail "x86/quenor-cleaner.exe differs"
  timeout 60 unzip -p "$zip" LICENSE.txt | tr -d '\r' | cmp -s - LICENSE && ok "LICENSE.txt is the licence" ||
    fail "LICENSE.txt differs"
  [[ $case_failures -eq 0 ]] || failures=$((failures + 1))
}

wine32_runs=
timeout 30 /usr/lib/wine/wine --version >/dev/null 2>&1 && wine32_runs=1
installers=("$packages/quenor-cleaner-$version-setup-x64.exe")
if [[ -n "$wine32_runs" ]]; then
  installers+=("$packages/quenor-cleaner-$version-setup-x86.exe")
else
  echo "32-bit Wine cannot run here: the 32-bit installer is built but not run"
fi

rm -rf "$work"
mkdir -p "$work"
check_zip
unset DISPLAY
start_display
for installer in "${installers[@]}"; do
  [[ -f "$installer" ]] || { echo "windows-installer-test.sh: $installer is missing" >&2; exit 2; }
  for entry in "${cases[@]}"; do
    IFS='|' read -r name firebird language bits report <<<"$entry"
    [[ "$installer" == *x86.exe ]] && name=x86-$name
    run_case "$installer" "$name" "$firebird" "$language" "$bits" "$report"
  done
done

if [[ $failures -ne 0 ]]; then
  echo "windows-installer-test.sh: $failures of the cases failed"
  exit 1
fi
echo "windows-installer-test.sh: all cases passed"
