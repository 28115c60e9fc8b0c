#!/usr/bin/env bash
# The watcher of the simulated build for Windows, under Wine, on a PC with two cameras: A plugged in
# only while a.plugged exists, B always there. A's kept profile (brightness 10) is given back
# when A is plugged in again, B is left alone; with --hold 1 a value another program changed is
# put back; a kept profile that cannot be used is said and nothing is sent; watch --stop, the
# way the installer's removal stops it, ends it with exit code 0.
#   tests/windows-sim/watch_check.sh <wine> <optiqon_sim.exe> <work folder>
set -euo pipefail
wine=$1
tool=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cat >pc.scenario <<'SCENARIO'
serial = K3M51-A001
plugged = a.plugged
camera_settings = a.settings
[camera]
serial = K3M51-B002
camera_settings = b.settings
SCENARIO
echo in >a.plugged
export OPTIQON_SIM_CAMERA=pc.scenario
# Wine sets APPDATA from the prefix's profile, whatever the environment says: the kept profiles
# are in the prefix's user folder, APPDATA\Optiqon\cameras, emptied first.
appdata=$("$wine" winepath -u "$("$wine" cmd /c echo %APPDATA% | tr -d '\r')")
kept="$appdata/Optiqon"
rm -rf "$kept"

fail() {
  echo "watch_check: $*" >&2
  echo "--- the watcher's log:" >&2
  cat watch.log >&2 || true
  exit 1
}
optiqon() { "$wine" "$tool" "$@" 2>>errors | tr -d '\r'; }

# The log's lines without their times, which must all be there.
log_lines() { tr -d '\r' <watch.log | sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z //'; }
wait_for_lines() {
  for _ in $(seq 1 300); do
    [ "$(log_lines | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
  fail "the log did not reach $1 lines"
}
expect_line() {
  [ "$(log_lines | sed -n "$1p")" = "$2" ] || fail "line $1 is not [$2]"
}
expect_brightness() {
  [ "$(optiqon get --serial "$1" brightness)" = "brightness              $2" ] ||
    fail "camera $1's brightness is not $2"
}

optiqon set --serial K3M51-A001 brightness=10 >/dev/null
optiqon remember --serial K3M51-A001 >/dev/null
[ -f "$kept"/cameras/K3M51-A001.json ] || fail "no kept profile in APPDATA"
optiqon set --serial K3M51-A001 brightness=3 >/dev/null
optiqon save --serial K3M51-A001 >/dev/null
optiqon set --serial K3M51-B002 brightness=5 >/dev/null

"$wine" "$tool" watch --hold 1 2>watch.log &
watcher=$!
applied="camera K3M51-A001: kept profile applied: 1 set, 0 refused, 46 already held: done"
wait_for_lines 2
expect_line 2 "$applied"

# Plugged in again, A starts from what it saved (3) and is given 10 again.
rm a.plugged
sleep 0.3
echo in again >a.plugged
wait_for_lines 3
expect_line 3 "$applied"
expect_brightness K3M51-A001 10
expect_brightness K3M51-B002 5

optiqon set --serial K3M51-A001 brightness=50 >/dev/null
wait_for_lines 4
expect_line 4 "camera K3M51-A001: brightness was changed to 50: put back to 10"
expect_brightness K3M51-A001 10

echo '{"format": 1, "prop' >"$kept/cameras/K3M51-B002.json"
wait_for_lines 5
log_lines | sed -n 5p | grep -q '^camera K3M51-B002: kept profile unusable: .*: nothing sent$' ||
  fail "line 5 does not say B's kept profile is unusable"
expect_brightness K3M51-B002 5

[ "$(optiqon watch --stop)" = "the watcher (process $(tr -d '\r' <"$kept"/watch.lock | cut -d' ' -f1)) was asked to stop" ] ||
  fail "watch --stop did not ask the watcher"
code=0
wait "$watcher" || code=$?
[ "$code" -eq 0 ] || fail "the watcher ended with exit code $code"
[ "$(log_lines | tail -1)" = "stopped" ] || fail "the watcher's last line is not 'stopped'"
echo "watch_check: the watcher under Wine gave back, held and stopped as it should"
