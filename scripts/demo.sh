#!/usr/bin/env bash
# The kit on the simulated camera, in real time. First the upgrader's main job: the camera's flash
# is erased, a sample image is written page by page and read back, and the flash the camera is
# left with is checked against the image; then the camera's serial number is read. Then the
# Brenwick library, loaded by a small host program as a customer's application loads it: it opens
# the camera, sets and reads back image properties and vendor controls, saves the settings, reads
# the serial number, updates the firmware through the upgrader with the same image onto a flash
# holding the older contents again, and closes the camera. Last the command-line tool over the
# camera API: the camera's status, settings set and read back, a settings profile exported and
# imported, and the firmware update once more, with its progress and verdict.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly image_size=20000 # not a whole number of 256-byte pages: the last page is padded
readonly flash_size=$((16 * 1024 * 1024))
readonly sector_size=$((64 * 1024))
readonly serial=K3M51-DEMO7

scripts/install-deps.sh
cmake --preset sim
cmake --build --preset sim -j "$(nproc)" --target optiqon_fw_upgrader_sim Brenwick_sim brenwick_host \
  optiqon_sim
upgrader=$PWD/build/sim/optiqon_fw_upgrader_sim
library=$PWD/build/sim/libBrenwick_sim.so
host=$PWD/build/sim/tests/brenwick_host
tool=$PWD/build/sim/optiqon_sim

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The image: numbered text lines, the same on every run, with no 0xFF byte anywhere, so that
# erased flash can never pass for image content.
seq -f 'Optiqon K3M51 sample firmware, line %05g' 1 1000 >"$work/demo.img"
truncate -s "$image_size" "$work/demo.img"

# The flash as an older firmware leaves it: its first sector programmed to zeros, the rest
# erased. Programming only clears bits, so the image verifies only if the sector is erased first.
old_flash() {
  {
    head -c "$sector_size" /dev/zero
    head -c $((flash_size - sector_size)) /dev/zero | LC_ALL=C tr '\0' '\377'
  } >"$work/flash.bin"
}
old_flash

cat >"$work/camera.scenario" <<SCENARIO
# The camera as the first HID interface after a mouse, and as the one video capture device, with
# the fixed waits taken in real time. It keeps its settings in camera.settings between the
# programs that use it, as the camera keeps them between a tool's runs.
camera = present
camera_index = 1
serial = $serial
flash = $work/flash.bin
camera_settings = $work/camera.settings
clock = real
SCENARIO
export OPTIQON_SIM_CAMERA=$work/camera.scenario

fail() {
  echo
  echo "demo: FAIL - $*"
  exit 1
}

check_flash() {
  if ! cmp -n "$image_size" "$work/demo.img" "$work/flash.bin"; then
    fail "the flash does not hold the image"
  fi
  left_over=$(tail -c +$((image_size + 1)) "$work/flash.bin" | LC_ALL=C tr -d '\377' | wc -c)
  if [ "$left_over" -ne 0 ]; then
    fail "$left_over bytes of the flash past the image are not erased (0xFF)"
  fi
  echo "demo: OK - the flash holds the $image_size-byte image, and every byte after it reads 0xFF"
}

echo
echo "== optiqon_fw_upgrader demo.img   ($image_size bytes, on the simulated camera)"
status=0
(cd "$work" && "$upgrader" demo.img) || status=$?
echo
[ "$status" -eq 0 ] || fail "the upgrader exited with $status"

check_flash

echo
echo "== optiqon_fw_upgrader -s   (the serial number $serial, printed as its UTF-16 buffer" \
  "with every zero byte shown as the digit 0)"
status=0
serial_line=$("$upgrader" -s) || status=$?
echo "$serial_line"
[ "$status" -eq 0 ] || fail "reading the serial number exited with $status"

echo
echo "== brenwick_host libBrenwick_sim.so demo.img   (a host program driving the Brenwick library;" \
  "the flash holds the older contents again)"
old_flash
status=0
(cd "$work" && "$host" "$library" demo.img) | tee "$work/host.out" || status=$?
[ "$status" -eq 0 ] || fail "the host program exited with $status"
grep -qx 'Initialize() = true' "$work/host.out" || fail "the library did not find the camera"
grep -qxF "GetSerialNumber() = $serial_line" "$work/host.out" ||
  fail "the library did not read the serial number the upgrader prints"
echo
check_flash

echo
echo "== optiqon, the command-line tool over the camera API   (the flash holds the older contents" \
  "again)"
old_flash
# Runs the tool as a technician types it; exits the demo when the exit code is not the one given.
optiqon() {
  local expected=$1 status=0
  shift
  echo "\$ optiqon $*"
  (cd "$work" && "$tool" "$@") || status=$?
  [ "$status" -eq "$expected" ] || fail "optiqon $* exited with $status"
}
optiqon 0 status
optiqon 0 get brightness 20 30
optiqon 0 set brightness=-5 20=1,2,3,4
optiqon 0 export camera.json
optiqon 0 set brightness=12 20=9,9,9,9
optiqon 0 import camera.json --dry-run
optiqon 0 import camera.json --save
optiqon 0 get brightness 20 --json
optiqon 2 set brightness=bright
optiqon 0 update demo.img
check_flash
