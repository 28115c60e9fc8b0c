#!/usr/bin/env bash
# The simulated camera's package for Windows host developers, as one of them uses it, under Wine:
# the zip unpacked into a folder whose name has a blank; the example host built against the
# unpacked headers and import library as the package's README says, run from that folder with
# the sample scenario (the camera found beside a webcam, its brightness and serial number read),
# and with a scenario that lists no camera; the camera API's host in C built against the unpacked
# kit and run with three cameras (listed, the second's brightness set) and with none; and a host
# driving every export, UpdateFirmware starting the upgrader beside the unpacked DLL. Builds the
# package first (scripts/package-windows-sim.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$PWD

scripts/package-windows-sim.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-sim/CMakeCache.txt)
zip=$root/dist/Optiqon-Simulator-$version-win64.zip

export HOME="${HOME:-/root}"
export WINEPREFIX=$root/build/windows-sim/wine-prefix WINEDEBUG=-all
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1
work="$WINEPREFIX/drive_c/Host Work"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && cmake -E tar xf "$zip")
kit="$work/Optiqon-Simulator"

fail() {
  echo "simulator-package-check: $*" >&2
  exit 1
}
step() {
  echo "simulator-package-check: $*"
}

step "the example host built against the unpacked kit with mingw-w64"
x86_64-w64-mingw32-g++-posix -std=c++17 examples/host/main.cpp -I"$kit/include" -L"$kit/lib" \
  -lBrenwick_sim -loleaut32 -lole32 -static -o "$kit/bin/example_host.exe"

# Runs the example host from the kit's folder with a scenario; checks its exit code and output.
run_example() {
  local scenario=$1 expected_code=$2 expected=$3 status=0 output
  output=$(cd "$kit" && OPTIQON_SIM_CAMERA=$scenario "$wine" 'bin\example_host.exe' 2>&1 |
    tr -d '\r') || status=$?
  [ "$status" -eq "$expected_code" ] || fail "example host with $scenario: exit $status: $output"
  grep -qxF "$expected" <<<"$output" || fail "example host with $scenario lacks '$expected': $output"
}
step "the sample scenario: the camera found beside a webcam"
run_example camera.scenario 0 'Serial number: K030M05010-000004020000000000000000'
run_example camera.scenario 0 'Brightness: 0'
step "a scenario without the camera"
printf 'video_devices = Integrated Webcam\nclock = virtual\n' >"$kit/no-camera.scenario"
run_example no-camera.scenario 1 'No Corvantis Optiqon camera is connected.'

step "the camera API's host in C built against the unpacked kit with mingw-w64"
x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror \
  examples/cameras-host/main.c -I"$kit/include" -L"$kit/lib" -lOptiqonCameras_sim \
  -o "$kit/bin/cameras_host.exe"
# Runs it from the kit's folder with a scenario and a brightness; checks its exit code and lines.
run_cameras_host() {
  local scenario=$1 brightness=$2 expected_code=$3 status=0 output line
  shift 3
  output=$(cd "$kit" && OPTIQON_SIM_CAMERA=$scenario "$wine" 'bin\cameras_host.exe' \
    ${brightness:+"$brightness"} 2>&1 | tr -d '\r') || status=$?
  [ "$status" -eq "$expected_code" ] || fail "cameras host with $scenario: exit $status: $output"
  for line in "$@"; do
    grep -qxF "$line" <<<"$output" || fail "cameras host with $scenario lacks '$line': $output"
  done
}
step "three cameras: listed by their ports, the second's brightness set"
printf 'clock = virtual\nserial = K3M51-A001\n[camera]\nserial = K3M51-B002\n[camera]\nserial = K3M51-C003\n' \
  >"$kit/three-cameras.scenario"
port='PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB'
sides='video device found, HID interface found'
run_cameras_host three-cameras.scenario 7 0 '3 cameras connected:' \
  "  1. K3M51-A001 at $port(1): $sides" "  2. K3M51-B002 at $port(2): $sides" \
  "  3. K3M51-C003 at $port(3): $sides" \
  'Camera K3M51-B002: brightness set to 7 (range -64 to 64), reads 7'
step "no camera, on either side: said plainly"
printf 'clock = virtual\ncamera = absent\nvideo_devices = Integrated Webcam\n' \
  >"$kit/no-cameras.scenario"
run_cameras_host no-cameras.scenario '' 1 'No Corvantis Optiqon camera is connected.'

step "every export, the upgrader started beside the unpacked DLL"
printf 'Optiqon sample firmware image\n' >"$work/firmware.img"
printf 'clock = virtual\nflash = flash.bin\n' >"$work/flash.scenario"
output=$(cd "$work" && OPTIQON_SIM_CAMERA=flash.scenario "$wine" \
  "$root/build/windows-sim/tests/brenwick_host.exe" \
  'C:\Host Work\Optiqon-Simulator\bin\Brenwick_sim.dll' firmware.img 2>&1 | tr -d '\r') ||
  fail "the host failed: $output"
for line in 'Initialize() = true' 'SetPassword("1A2B") = true' 'Download Complete'; do
  grep -qxF "$line" <<<"$output" || fail "the host's output lacks '$line': $output"
done
cmp -s -n 30 "$work/firmware.img" "$work/flash.bin" || fail "the flash does not hold the image"
step "the unpacked kit works from C:\\Host Work\\Optiqon-Simulator"
