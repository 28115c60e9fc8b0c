#!/usr/bin/env bash
# The watcher when the Windows session ends (logoff, shutdown), under Wine with a display of its
# own (Xvfb): without one, Wine makes no top-level window, and the hidden window through which
# Windows tells a program of the session's end is one. `wineboot --end-session` sends the
# session's end as Windows does; the watcher must stop of its own accord, writing its last line,
# and exit 0.
#   tests/windows/session_end_check.sh <wine64> <optiqon.exe> <work folder>
# Exits 77 (skipped) when xvfb-run is missing: scripts/install-deps.sh --windows installs it.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 <wine64> <optiqon.exe> <work folder>" >&2
  exit 2
fi
wine=$1
tool=$2
work=$3
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "session-end-check: xvfb-run is missing (scripts/install-deps.sh --windows)"
  exit 77
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export HOME="${HOME:-/root}"
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all
export WINE=$wine TOOL=$tool WORK=$work

# The prefix's server, and with it every process of the prefix, ends with the check.
stop_wine() {
  if [ -d "$WINEPREFIX" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
  fi
}
stop_wine
rm -rf "$work"
mkdir -p "$work"
trap stop_wine EXIT

# Runs on the display xvfb-run makes; a watcher that hangs ends with the time limit.
timeout 120 xvfb-run -a bash -euo pipefail -c '
fail() {
  echo "session-end-check: $*" >&2
  exit 1
}
"$WINE" wineboot -i >"$WORK/wineboot.txt" 2>&1 || fail "wineboot could not make the prefix"
log=$WORK/watch.log
"$WINE" "$TOOL" watch --log-file "$("$WINE" winepath -w "$log" | tr -d "\r")" \
  </dev/null >"$WORK/watcher-output.txt" 2>&1 &
watcher=$!
for _ in $(seq 100); do
  grep " watching for cameras plugged in" "$log" >/dev/null 2>&1 && break
  sleep 0.2
done
grep " watching for cameras plugged in" "$log" >/dev/null 2>&1 ||
  fail "the watcher did not start: $(cat "$WORK/watcher-output.txt")"
"$WINE" wineboot --end-session || fail "wineboot --end-session exited $?"
code=0
wait "$watcher" || code=$?
[ "$code" -eq 0 ] || fail "the watcher exited $code when the session ended, expected 0"
last=$(tail -n 1 "$log" | tr -d "\r")
[[ "$last" =~ ^[0-9TZ:-]+\ stopped$ ]] ||
  fail "the watcher did not stop of its own accord: its last line is [$last]"
echo "session-end-check: the session ended, the watcher stopped: $last"
'
