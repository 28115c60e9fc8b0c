#!/usr/bin/env bash
# Builds the Windows x64 package with mingw-w64 and checks it under Wine: the upgrader's HID
# discovery and not-found paths, the library's exports through a Windows host program, the
# text-mode pipe through which the library reads the upgrader (byte for byte, with a stand-in
# child), the package's export and import tables, and the install layout in
# C:\Program Files\Optiqon. Then the simulated camera built as Windows programs, run under Wine
# (preset windows-sim).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --windows
export HOME="${HOME:-/root}"  # Wine keeps its settings under the home directory
cmake --preset windows
cmake --build --preset windows -j "$(nproc)"
ctest --preset windows

# The simulated camera as Windows programs, under Wine.
cmake --preset windows-sim
cmake --build --preset windows-sim -j "$(nproc)"
ctest --preset windows-sim
