#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own (build/windows/installer-check):
# an earlier version installs, the current MSI replaces it in place and refuses to be replaced
# by it; every staged file lands in C:\Program Files\Optiqon byte for byte; the installed
# upgrader, library, tool and camera API pass the same checks as the build tree's; installing the
# same MSI again changes nothing; and removing it leaves no file and no registration behind. The
# watcher: the machine's Run key starts optiqon-watch.exe at logon, which starts a hidden watcher
# logging to %LOCALAPPDATA%\Optiqon\watch.log; an upgrade and the removal stop it, and the removal
# takes the Run value away. The control panel: the Start menu's entry starts the installed
# `optiqon.exe panel`, which answers and stops on Ctrl-C, and the removal takes the entry away.
# Builds the packages first (scripts/package-windows.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$PWD

scripts/package-windows.sh
build=$root/build/windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi=$root/dist/Optiqon-$version-win64.msi
staged=$build/package/components

work=$build/installer-check
export HOME="${HOME:-/root}"
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all
# Wine copies the Start menu's entries into this machine's own menus: not from a check.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# The prefix's server, when one is left, ends (and writes its registry) before the prefix goes.
stop_wine() {
  if [ -d "$WINEPREFIX" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
  fi
}
stop_wine
rm -rf "$work"
mkdir -p "$work"
installed="$WINEPREFIX/drive_c/Program Files/Optiqon"

fail() {
  echo "installer-check: $*" >&2
  exit 1
}
step() {
  echo "installer-check: $*"
}
trap stop_wine EXIT

msiexec() {
  local action=$1 package
  package=$("$wine" winepath -w "$2")
  "$wine" msiexec "$action" "$package" /qn
}

# The versions of the kit Windows Installer has registered, one a line: what Programs and
# Features lists.
registered_versions() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    tr -d '\r' | awk '
      /^HKEY_/ { name = ""; version = "" }
      $1 == "DisplayName" { sub(/^[ \t]*DisplayName[ \t]+REG_SZ[ \t]+/, ""); name = $0 }
      $1 == "DisplayVersion" { sub(/^[ \t]*DisplayVersion[ \t]+REG_SZ[ \t]+/, ""); version = $0 }
      name == "Optiqon service kit" && version != "" { print version; name = "" }'
}
expect_registered() {
  local found
  found=$(registered_versions | paste -sd ' ')
  [ "$found" = "$*" ] || fail "registered versions [${found}], expected [$*]"
}

# Every file each install component staged, where the installer puts it, with the same bytes.
expect_installed_files() {
  local component file count=0
  for component in "$staged"/*/; do
    while IFS= read -r -d '' file; do
      file=${file#"$component"}
      cmp -s "$component/$file" "$installed/$file" ||
        fail "C:\\Program Files\\Optiqon\\${file//\//\\} is missing or differs from the staged file"
      count=$((count + 1))
    done < <(find "$component" -type f -print0)
  done
  step "$count files in C:\\Program Files\\Optiqon as staged"
}

# The watcher at logon: the Run value the Kit feature writes, and what the launcher it names
# starts. Windows starts it at logon; the check runs it as the logon would.
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
run_value='Optiqon watcher'
expected_run_command='"C:\Program Files\Optiqon\bin\optiqon-watch.exe"'
run_command() {
  "$wine" reg query "$run_key" /v "$run_value" 2>/dev/null | tr -d '\r' |
    sed -n "s/^[ \t]*$run_value[ \t]\{1,\}REG_SZ[ \t]\{1,\}//p"
}
expect_run_value() {
  local found
  found=$(run_command)
  [ "$found" = "$expected_run_command" ] ||
    fail "the Run value '$run_value' is [$found], expected [$expected_run_command]"
}
expect_no_run_value() {
  [ -z "$(run_command)" ] || fail "the Run value '$run_value' is left: [$(run_command)]"
}
# The watcher's process in this check's prefix, as Wine shows it among the machine's (by its
# Windows command line); none when it is not running.
watcher_processes() {
  local process
  for process in $(pgrep -f 'optiqon\.exe watch --log-file' || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$process/environ" | grep -Fx "WINEPREFIX=$WINEPREFIX" \
      >/dev/null && echo "$process"
  done
  return 0
}
# Starts the installed launcher as the logon does, and waits for the watcher's start line in its
# log: the launcher returns at once, and the watcher's process keeps running, alone.
start_watcher_at_logon() {
  local before
  before=$(grep -c ' watching for cameras plugged in' "$watch_log" 2>/dev/null || true)
  # Its streams go to a file: the watcher may hold on to them while it runs.
  "$wine" 'C:\Program Files\Optiqon\bin\optiqon-watch.exe' </dev/null >>"$work/launcher.txt" 2>&1 ||
    fail "optiqon-watch.exe exited $?, expected 0"
  for _ in $(seq 100); do
    # A log not there yet counts no line.
    if [ "$(cat "$watch_log" 2>/dev/null | grep -c ' watching for cameras plugged in' || true)" \
      -gt "${before:-0}" ]; then
      break
    fi
    sleep 0.2
  done
  tail -n 1 "$watch_log" 2>/dev/null | tr -d '\r' |
    grep -E '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z watching for cameras plugged in' \
      >/dev/null || fail "no start line in $watch_log: [$(cat "$watch_log" 2>/dev/null)]"
  [ "$(watcher_processes | wc -l)" -eq 1 ] ||
    fail "not one watcher running after optiqon-watch.exe: [$(watcher_processes | paste -sd ' ')]"
  step "optiqon-watch.exe started a hidden watcher: $(tail -n 1 "$watch_log" | tr -d '\r')"
}
# After `what`, the watcher has ended of its own accord, saying so last in its log.
expect_watcher_stopped() {
  local what=$1
  for _ in $(seq 50); do
    [ -z "$(watcher_processes)" ] && break
    sleep 0.2
  done
  [ -z "$(watcher_processes)" ] || fail "the watcher still runs after $what"
  tail -n 1 "$watch_log" | tr -d '\r' | grep -E '^[0-9TZ:-]+ stopped$' >/dev/null ||
    fail "the watcher's log does not end with its stop after $what: [$(tail -n 3 "$watch_log")]"
  step "$what stopped the watcher"
}

# The control panel's entry in the Start menu. Windows puts it in the machine's Programs folder
# (the kit is installed for the machine); Wine's installer puts a machine's entries in the user's
# (ALLUSERS is not heeded for the program menu), so both folders are looked in, and the entry must
# be in one. Read through the shell, as Explorer reads it.
shortcut_name='Optiqon Control Panel.lnk'
control_panel_shortcuts() {
  local folder
  for folder in "$machine_programs" "$user_programs"; do
    [ -e "$folder/$shortcut_name" ] && echo "$folder/$shortcut_name"
  done
  return 0
}
shortcut_field() {
  sed -n "s/^$1 //p" <<<"$shortcut"
}
expect_control_panel_shortcut() {
  local found
  found=$(control_panel_shortcuts)
  [ "$(grep -c . <<<"$found")" -eq 1 ] ||
    fail "not one '$shortcut_name' in the Start menu's Programs folders: [$found]"
  shortcut=$("$wine" "$build/tests/windows/shortcut_reader.exe" "$("$wine" winepath -w "$found" |
    tr -d '\r')" | tr -d '\r') || fail "the Start menu's '$shortcut_name' cannot be read: [$shortcut]"
  [ "$(shortcut_field target)" = 'C:\Program Files\Optiqon\bin\optiqon.exe' ] &&
    [ "$(shortcut_field arguments)" = panel ] ||
    fail "the Start menu's '$shortcut_name' does not start optiqon.exe panel: [$shortcut]"
  [[ $(shortcut_field description) == "Opens the cameras' control panel in the browser."* ]] ||
    fail "the Start menu's '$shortcut_name' has not its description: [$shortcut]"
  step "the Start menu's '$shortcut_name' starts $(shortcut_field target) $(shortcut_field arguments)"
}

step "a new Wine prefix"
"$wine" wineboot -i >"$work/wineboot.txt" 2>&1 || {
  cat "$work/wineboot.txt" >&2
  fail "wineboot could not make the Wine prefix"
}
local_app_data=$("$wine" cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
user_programs=$("$wine" winepath -u \
  "$("$wine" cmd /c 'echo %APPDATA%' | tr -d '\r')\Microsoft\Windows\Start Menu\Programs" | tr -d '\r')
machine_programs=$("$wine" winepath -u \
  "$("$wine" cmd /c 'echo %ProgramData%' | tr -d '\r')\Microsoft\Windows\Start Menu\Programs" | tr -d '\r')
watch_log=$("$wine" winepath -u "$local_app_data\Optiqon\watch.log" | tr -d '\r')
[ -z "$(watcher_processes)" ] || fail "a watcher runs before the kit is installed"

# An earlier version, made from the same files, so that the current one meets an installed kit.
earlier=$work/Optiqon-0.0.1-win64.msi
packaging/windows/build-msi.sh "$staged" 0.0.1 "$earlier"
step "msiexec /i Optiqon-0.0.1-win64.msi /qn"
msiexec /i "$earlier" || fail "installing the earlier version exited $?"
expect_registered 0.0.1
expect_run_value
start_watcher_at_logon

step "msiexec /i $(basename "$msi") /qn: the upgrade"
msiexec /i "$msi" || fail "installing $(basename "$msi") over 0.0.1 exited $?"
expect_registered "$version"
expect_watcher_stopped "the upgrade"
expect_run_value
expect_control_panel_shortcut
expect_installed_files
cmp -s "$installed/bin/optiqon_fw_upgrader.exe" "$installed/bin/optiqon_upgrade.exe" ||
  fail "optiqon_fw_upgrader.exe and optiqon_upgrade.exe are not the same program"

step "the installed upgrader"
cmake -DWINE="$wine" -DUPGRADER='C:\Program Files\Optiqon\bin\optiqon_fw_upgrader.exe' \
  -DWORK="$work/upgrader-runs" -P tests/windows/upgrader_check.cmake
# Run from the work folder: the upgrader the library starts writes its log file where it runs.
step "the installed library, starting the installed upgrader"
(cd "$work" && cmake -DWINE="$wine" -DINSTALLED=ON -DBUILD_DIR="$work" \
  -DINSTALL_DIR="$installed" -DHOST="$build/tests/windows/brenwick_wine_host.exe" \
  -P "$root/tests/windows/library_check.cmake") >"$work/library-check.txt" 2>&1 || {
  cat "$work/library-check.txt" >&2
  fail "the installed library failed its checks"
}

step "the installed optiqon tool, over the installed library and upgrader"
cmake -DWINE="$wine" -DVERSION="$version" -DTOOL='C:\Program Files\Optiqon\bin\optiqon.exe' \
  -DWORK="$work/tool-runs" -P tests/windows/tool_check.cmake >"$work/tool-check.txt" 2>&1 || {
  cat "$work/tool-check.txt" >&2
  fail "the installed tool failed its checks"
}

# As the Start menu's entry starts it, without the browser: its address, its interface with no
# camera, and Ctrl-C in its console window.
step "the installed control panel: $(shortcut_field target) $(shortcut_field arguments)"
tests/windows/panel_check.sh "$wine" "$build/tests/windows/console_ctrl_c.exe" \
  "$(shortcut_field target)" "$work/panel-runs" >"$work/panel-check.txt" 2>&1 || {
  cat "$work/panel-check.txt" >&2
  fail "the installed control panel failed its checks"
}

# The camera API's host in C, built against its import library, on the DLL the Kit feature
# installed: no camera under Wine, said plainly.
step "the installed camera API, under its C host"
WINEPATH='C:\Program Files\Optiqon\bin' cmake -DWINE="$wine" \
  -DHOST="$build/tests/windows/optiqon_cameras_host.exe" -DWORK="$work/cameras-host-runs" \
  -DEXPECTED_CODE=1 "-DEXPECTED=Optiqon camera API $version|No Corvantis Optiqon camera is connected." \
  -P tests/windows/cameras_host_check.cmake >"$work/cameras-host-check.txt" 2>&1 || {
  cat "$work/cameras-host-check.txt" >&2
  fail "the installed camera API failed its checks"
}

step "msiexec /i Optiqon-0.0.1-win64.msi /qn over $version: refused"
if msiexec /i "$earlier"; then
  fail "the earlier version installed over $version"
fi
expect_registered "$version"

step "msiexec /i $(basename "$msi") /qn again"
msiexec /i "$msi" || fail "installing $(basename "$msi") a second time exited $?"
expect_registered "$version"
expect_installed_files
expect_control_panel_shortcut

expect_run_value
start_watcher_at_logon
step "msiexec /x $(basename "$msi") /qn"
msiexec /x "$msi" || fail "removing $(basename "$msi") exited $?"
expect_registered ""
expect_watcher_stopped "the removal"
expect_no_run_value
[ -z "$(control_panel_shortcuts)" ] ||
  fail "the Start menu's entry is left after removal: [$(control_panel_shortcuts)]"
if [ -d "$installed" ] && [ -n "$(find "$installed" -type f)" ]; then
  fail "files left after removal: $(find "$installed" -type f | tr '\n' ' ')"
fi
step "removed: no file, no registration, no Run value and no Start menu entry left"
