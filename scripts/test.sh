#!/usr/bin/env bash
# Builds the simulated-camera configuration and runs every test suite.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
cmake --preset sim
cmake --build --preset sim -j "$(nproc)"
ctest --preset sim
