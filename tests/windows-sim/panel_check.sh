#!/usr/bin/env bash
# `optiqon panel` of the simulated build for Windows, under Wine, on a PC with two cameras, driven
# through its interface with curl from Linux: the cameras listed with the token, refused without it
# (401), at another Host (403) and, for a change, without the panel's Origin (403); a setting put
# reaches the camera's settings file; a firmware image sent is written into the camera's flash,
# verdict 0. `optiqon watch --stop`, with no watcher and then with one running, stops the watcher
# alone: the panel answers after it. Ctrl-C in the panel's console ends it with exit code 0 within
# 2 s.
#   tests/windows-sim/panel_check.sh <wine64> <console_ctrl_c.exe> <optiqon_sim.exe> <work folder>
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 <wine64> <console_ctrl_c.exe> <optiqon_sim.exe> <work folder>" >&2
  exit 2
fi
wine=$1
ctrl_c=$2
tool=$3
work=$4
. "$(dirname "${BASH_SOURCE[0]}")/../windows/panel_console.sh"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cat >pc.scenario <<'SCENARIO'
clock = virtual
serial = K3M51-A001
flash = a.flash
camera_settings = a.settings
[camera]
serial = K3M51-B002
camera_settings = b.settings
SCENARIO
export OPTIQON_SIM_CAMERA=pc.scenario
# The watcher started here gives kept profiles to the cameras: none, from the prefix's user folder
# (APPDATA\Optiqon, where Wine puts it whatever the environment says).
appdata=$("$wine" winepath -u "$("$wine" cmd /c echo %APPDATA% | tr -d '\r')")
rm -rf "$appdata/Optiqon"

watcher=
stop_what_runs() {
  if [ -n "$watcher" ]; then
    "$wine" "$tool" watch --stop >/dev/null 2>&1 || true
    wait "$watcher" 2>/dev/null || true
  fi
  stop_panel_left_running
}
trap stop_what_runs EXIT

location() { echo "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB($1)"; }
cameras='{"cameras":[{"serial_number":"K3M51-A001","location":"'$(location 1)'","video_side":true,"hid_side":true},{"serial_number":"K3M51-B002","location":"'$(location 2)'","video_side":true,"hid_side":true}]}'
expect_cameras_listed() {
  ask_with_token GET /api/cameras
  expect_answer "GET /api/cameras $1" 200 "$cameras"
}

start_panel "$tool"
expect_cameras_listed ""
ask GET /api/cameras
expect_answer "GET /api/cameras without the token" 401 \
  '{"error":"the panel'"'"'s interface needs the token printed at its start: Authorization: Bearer TOKEN"}'
port=${panel##*:}
ask_with_token GET /api/cameras -H "Host: camera.example:$port"
expect_answer "GET /api/cameras at another Host" 403 \
  "{\"error\":\"this panel answers only at 127.0.0.1:$port or localhost:$port\"}"

json=(-H "Content-Type: application/json")
ask_with_token PUT /api/cameras/K3M51-B002/settings "${json[@]}" -d '{"brightness": 10}'
expect_answer "PUT without the panel's Origin" 403 \
  "{\"error\":\"a request that changes something needs the Origin of the panel's page: Origin: $panel\"}"
! grep -qs '^property_values = 0=10, ' b.settings || panel_fail "a refused PUT reached the camera"
ask_with_token PUT /api/cameras/K3M51-B002/settings -H "Origin: $panel" "${json[@]}" \
  -d '{"brightness": 10}'
expect_answer "PUT brightness 10" 200 \
  '{"values":[{"name":"brightness","value":10,"automatic":false,"took":true,"refusal":null}]}'
grep -q '^property_values = 0=10, ' b.settings ||
  panel_fail "camera K3M51-B002's settings file does not hold brightness 10: [$(cat b.settings)]"

# Three pages of 256 bytes, the last one short.
head -c 700 /dev/urandom >firmware.img
ask_with_token POST /api/cameras/K3M51-A001/update -H "Origin: $panel" \
  -H "Content-Type: application/octet-stream" --data-binary @firmware.img
[ "$status" = 202 ] && [[ $body == '{"serial_number":"K3M51-A001",'*'"pages":3,'* ]] ||
  panel_fail "POST update: $status [$body], expected 202 and 3 pages"
for _ in $(seq 100); do
  ask_with_token GET /api/cameras/K3M51-A001/update
  [[ $body == *'"verdict":null}' ]] || break
  sleep 0.1
done
[ "$status" = 200 ] &&
  [[ $body =~ \"stage\":\"finished\",\"pages_written\":3,\"pages\":3,.*\"verdict\":\{\"code\":0,\"text\":\"firmware\ updated:\ 3\ pages\ written\ and\ verified\ in\ 0:[0-9]{2}\",\"failure\":null\}\}$ ]] ||
  panel_fail "GET update: $status [$body], expected the update finished with verdict 0"
cmp -s -n 700 firmware.img a.flash || panel_fail "the image is not at the start of the flash"

# The watcher's stop is for the watcher only: the panel goes on answering.
[ "$("$wine" "$tool" watch --stop 2>&1 | tr -d '\r')" = "no watcher is running" ] ||
  panel_fail "watch --stop without a watcher did not say so"
expect_cameras_listed "after watch --stop without a watcher"
"$wine" "$tool" watch </dev/null >watch.out 2>watch.log &
watcher=$!
for _ in $(seq 100); do
  grep -q ' watching for cameras plugged in' watch.log && break
  sleep 0.1
done
grep -q ' watching for cameras plugged in' watch.log ||
  panel_fail "the watcher did not start: [$(tr -d '\r' <watch.log)]"
said=$("$wine" "$tool" watch --stop 2>&1 | tr -d '\r')
[[ $said =~ ^the\ watcher\ \(process\ [0-9]+\)\ was\ asked\ to\ stop$ ]] ||
  panel_fail "watch --stop with a watcher running said [$said]"
code=0
wait "$watcher" || code=$?
watcher=
[ "$code" -eq 0 ] && [[ $(tail -n 1 watch.log | tr -d '\r') == *Z\ stopped ]] ||
  panel_fail "the watcher did not stop: exit $code, [$(tr -d '\r' <watch.log)]"
expect_cameras_listed "after watch --stop stopped a watcher"

stop_panel_with_ctrl_c
echo "panel-check: the simulated panel answered, updated, outlived the watcher's stop and" \
  "ended ${stop_time_ms} ms after Ctrl-C"
