#!/usr/bin/env bash
# Builds the example hosts (examples/host in C++ on Brenwick, examples/cameras-host in C on the
# camera API) as a project outside this tree would, and runs them on a PC without the camera,
# where they must say so plainly and end with exit code 1:
#   - against the installed Windows SDK, with the mingw-w64 toolchain (the camera API's host
#     with its CMake package and with pkg-config), run under Wine (after scripts/windows.sh, whose
#     builds and Wine prefixes it uses);
#   - the camera API's host again, unchanged, on the simulated camera API of the windows-sim
#     build copied beside it under the real DLL's name, with three simulated cameras: it lists
#     them and sets the second one's brightness;
#   - with the kit taken in by add_subdirectory, which needs no GoogleTest.
# The Linux packages' SDK is checked by scripts/check-linux-packages.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

kit=$PWD
scratch=$kit/build/sdk-check
rm -rf "$scratch"
mkdir -p "$scratch"
expected_line="No Corvantis Optiqon camera is connected."

# Runs a host and checks its verdict on a PC without the camera.
expect_no_camera() {
  local name=$1
  shift
  local status=0
  "$@" >"$scratch/$name.out" 2>&1 || status=$?
  if [ "$status" -ne 1 ] || ! grep -qF "$expected_line" "$scratch/$name.out"; then
    echo "check-sdk: $name: expected exit code 1 and \"$expected_line\", got $status:" >&2
    cat "$scratch/$name.out" >&2
    exit 1
  fi
  echo "check-sdk: $name: no camera, said plainly (exit code 1)"
}

# The Windows SDK as the installer's SDK feature lays it out, and a mingw host built against it.
export HOME="${HOME:-/root}"
sdk=$scratch/windows-sdk
for component in runtime cameras development; do
  cmake --install build/windows --prefix "$sdk" --component "$component" >/dev/null
done
cmake -S examples/host -B "$scratch/windows-host" --toolchain "$kit/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
cmake --build "$scratch/windows-host" >/dev/null
cp "$sdk/bin/Brenwick.dll" "$scratch/windows-host/"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
expect_no_camera windows-host env WINEPREFIX="$kit/build/windows/wine-prefix" WINEDEBUG=-all \
  "$wine" "$scratch/windows-host/optiqon_example_host.exe"

# The camera API's host in C against the same SDK: with find_package(OptiqonCameras), and with
# the flags of optiqon-cameras.pc, which finds the SDK from its own place.
cameras_host=$scratch/windows-cameras-host
cmake -S examples/cameras-host -B "$cameras_host" \
  --toolchain "$kit/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
cmake --build "$cameras_host" >/dev/null
cp "$sdk/bin/OptiqonCameras.dll" "$cameras_host/"
expect_no_camera windows-cameras-host env WINEPREFIX="$kit/build/windows/wine-prefix" \
  WINEDEBUG=-all "$wine" "$cameras_host/optiqon_cameras_host.exe"
mkdir -p "$scratch/windows-cameras-pkg-config"
flags=$(PKG_CONFIG_PATH=$sdk/lib/pkgconfig pkg-config --cflags --libs optiqon-cameras)
# shellcheck disable=SC2086 # the flags are words
x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror \
  examples/cameras-host/main.c $flags -o "$scratch/windows-cameras-pkg-config/host.exe"
cp "$sdk/bin/OptiqonCameras.dll" "$scratch/windows-cameras-pkg-config/"
expect_no_camera windows-cameras-pkg-config env WINEPREFIX="$kit/build/windows/wine-prefix" \
  WINEDEBUG=-all "$wine" "$scratch/windows-cameras-pkg-config/host.exe"

# The host built against the real DLL runs unchanged on the simulated one: OptiqonCameras_sim.dll
# under the name OptiqonCameras.dll beside it, in the windows-sim build's Wine prefix, with three
# cameras. It lists them by their ports and sets the brightness of the second, opened by its
# serial number.
on_sim=$kit/build/windows-sim/wine-prefix/drive_c/cameras-host
rm -rf "$on_sim"
mkdir -p "$on_sim"
cp "$cameras_host/optiqon_cameras_host.exe" "$on_sim/"
cp build/windows-sim/OptiqonCameras_sim.dll "$on_sim/OptiqonCameras.dll"
cp tests/windows-sim/three-cameras.scenario "$on_sim/"
status=0
(cd "$on_sim" && OPTIQON_SIM_CAMERA=three-cameras.scenario \
  WINEPREFIX="$kit/build/windows-sim/wine-prefix" WINEDEBUG=-all \
  "$wine" optiqon_cameras_host.exe 9) 2>&1 | tr -d '\r' >"$scratch/on-sim.out" || status=$?
port='PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB'
sides='video device found, HID interface found'
for line in '3 cameras connected:' "  1. K3M51-A001 at $port(1): $sides" \
  "  2. K3M51-B002 at $port(2): $sides" "  3. K3M51-C003 at $port(3): $sides" \
  'Camera K3M51-B002: brightness set to 9 (range -64 to 64), reads 9'; do
  if [ "$status" -ne 0 ] || ! grep -qxF "$line" "$scratch/on-sim.out"; then
    echo "check-sdk: cameras host on the simulated DLL: exit code $status, no line '$line':" >&2
    cat "$scratch/on-sim.out" >&2
    exit 1
  fi
done
echo "check-sdk: cameras host on the simulated DLL: three cameras listed, the second's brightness set"

# The kit as a subproject of a host's own build, with the kit's defaults: the real library and
# upgrader, without GoogleTest, the simulated camera, the tool or the benchmarks.
mkdir -p "$scratch/subproject"
cat >"$scratch/subproject/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(host_with_the_kit_inside LANGUAGES C CXX)
add_subdirectory("$kit" optiqon)
add_executable(optiqon_example_host "$kit/examples/host/main.cpp")
target_link_libraries(optiqon_example_host PRIVATE Brenwick::Brenwick)
add_executable(optiqon_cameras_host "$kit/examples/cameras-host/main.c")
target_link_libraries(optiqon_cameras_host PRIVATE OptiqonCameras::OptiqonCameras)
CMAKE
cmake -S "$scratch/subproject" -B "$scratch/subproject/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
for option in OPTIQON_SIMULATION OPTIQON_BUILD_TESTS OPTIQON_BUILD_BENCH OPTIQON_BUILD_TOOLS; do
  if ! grep -qx "$option:BOOL=OFF" "$scratch/subproject/build/CMakeCache.txt"; then
    echo "check-sdk: subproject: $option is not off by default" >&2
    exit 1
  fi
done
cmake --build "$scratch/subproject/build" -j "$(nproc)" >/dev/null
for program in optiqon/optiqon_fw_upgrader optiqon/libBrenwick.so optiqon/libOptiqonCameras.so \
  optiqon_example_host optiqon_cameras_host; do
  if [ ! -f "$scratch/subproject/build/$program" ]; then
    echo "check-sdk: subproject: $program was not built" >&2
    exit 1
  fi
done
expect_no_camera subproject "$scratch/subproject/build/optiqon_example_host"
expect_no_camera subproject-cameras "$scratch/subproject/build/optiqon_cameras_host"
