#!/usr/bin/env bash
# Builds the simulated camera for Windows host developers into dist/ from the windows-sim preset:
#   dist/Optiqon-Simulator-<version>-win64.zip  a folder Optiqon-Simulator/ with Brenwick_sim.dll,
#     the camera API over the same simulated PC (OptiqonCameras_sim.dll) and the simulated
#     upgrader (bin\), the headers (include\), the import libraries of both DLLs for mingw-w64
#     and Visual Studio (lib\), a sample scenario and the scenario file's description, and a
#     README on writing and testing a host against them.
# The folder works wherever it is unpacked: the DLL starts the upgrader from its own folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --windows
export HOME="${HOME:-/root}"
cmake --preset windows-sim >/dev/null
cmake --build --preset windows-sim -j "$(nproc)"

build=build/windows-sim
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage=$build/package
kit=$stage/Optiqon-Simulator
rm -rf "$stage"
mkdir -p "$kit/bin" "$kit/include" "$kit/lib"
cp "$build/Brenwick_sim.dll" "$build/OptiqonCameras_sim.dll" "$build/optiqon_fw_upgrader_sim.exe" \
  "$kit/bin/"
cp camlib/include/Brenwick.h camlib/include/BrenwickSafeArray.h camlib/include/OptiqonCamera.h \
  cameras/include/OptiqonCameras.h "$kit/include/"
cp "$build/camlib/libBrenwick_sim.dll.a" "$build/camlib/Brenwick_sim.lib" \
  "$build/cameras/libOptiqonCameras_sim.dll.a" "$build/cameras/OptiqonCameras_sim.lib" "$kit/lib/"
cp packaging/windows-sim/README.md packaging/windows-sim/camera.scenario "$kit/"
cp docs/scenario-file.md "$kit/"
# Shipped without symbols, with the toolchain's strip.
strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
"$strip" --strip-all "$kit/bin/Brenwick_sim.dll" "$kit/bin/OptiqonCameras_sim.dll" \
  "$kit/bin/optiqon_fw_upgrader_sim.exe"

mkdir -p dist
zip=dist/Optiqon-Simulator-$version-win64.zip
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$OLDPWD/$zip" --format=zip Optiqon-Simulator)
echo "package-windows-sim: $zip"
