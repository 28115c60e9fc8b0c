#!/usr/bin/env bash
# Builds every package of the kit into dist/, from a clean clone, installing the build tools that
# are missing:
#   optiqon-fw-upgrader_<version>_<arch>.deb, libbrenwick1_..., liboptiqoncameras1_...,
#   libbrenwick-dev_..., optiqon_..., python3-optiqon_<version>_all.deb               (Linux)
#   optiqon-<version>-py3-none-any.whl   the Python package's wheel                  (both)
#   Optiqon-<version>-win64.msi, Optiqon-<version>-win64.zip (with the wheel)        (Windows)
#   Optiqon-Simulator-<version>-win64.zip   the simulated camera, for Windows host developers
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/package-linux.sh
scripts/package-windows.sh
scripts/package-windows-sim.sh
echo "package: dist/ holds"
ls -1 dist
