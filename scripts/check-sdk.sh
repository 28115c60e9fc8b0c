#!/usr/bin/env bash
# Builds the example host (examples/host) as a project outside this tree would, and runs it on a
# PC without the camera, where it must say so plainly and end with exit code 1:
#   - against the installed Windows SDK, with the mingw-w64 toolchain, run under Wine (after
#     scripts/windows.sh, whose build and Wine prefix it uses);
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
for component in runtime development; do
  cmake --install build/windows --prefix "$sdk" --component "$component" >/dev/null
done
cmake -S examples/host -B "$scratch/windows-host" --toolchain "$kit/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
cmake --build "$scratch/windows-host" >/dev/null
cp "$sdk/bin/Brenwick.dll" "$scratch/windows-host/"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
expect_no_camera windows-host env WINEPREFIX="$kit/build/windows/wine-prefix" WINEDEBUG=-all \
  "$wine" "$scratch/windows-host/optiqon_example_host.exe"

# The kit as a subproject of a host's own build, with the kit's defaults: the real library and
# upgrader, without GoogleTest, the simulated camera, the tool or the benchmarks.
mkdir -p "$scratch/subproject"
cat >"$scratch/subproject/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(host_with_the_kit_inside LANGUAGES CXX)
add_subdirectory("$kit" optiqon)
add_executable(optiqon_example_host "$kit/examples/host/main.cpp")
target_link_libraries(optiqon_example_host PRIVATE Brenwick::Brenwick)
CMAKE
cmake -S "$scratch/subproject" -B "$scratch/subproject/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
for option in OPTIQON_SIMULATION OPTIQON_BUILD_TESTS OPTIQON_BUILD_BENCH OPTIQON_BUILD_TOOLS; do
  if ! grep -qx "$option:BOOL=OFF" "$scratch/subproject/build/CMakeCache.txt"; then
    echo "check-sdk: subproject: $option is not off by default" >&2
    exit 1
  fi
done
cmake --build "$scratch/subproject/build" -j "$(nproc)" >/dev/null
for program in optiqon/optiqon_fw_upgrader optiqon/libBrenwick.so optiqon_example_host; do
  if [ ! -f "$scratch/subproject/build/$program" ]; then
    echo "check-sdk: subproject: $program was not built" >&2
    exit 1
  fi
done
expect_no_camera subproject "$scratch/subproject/build/optiqon_example_host"
