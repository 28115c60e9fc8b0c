#!/usr/bin/env bash
# Builds the simulated-camera configuration and runs every test suite: `scripts/test.sh` for the
# plain build, `scripts/test.sh sanitize` for the same under AddressSanitizer and
# UndefinedBehaviorSanitizer. Passing tests are not listed; a failing one is, with its output,
# and the run closes with ctest's summary.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

preset="${1:-sim}"
scripts/install-deps.sh
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
cmake --workflow --preset "$preset" |
  awk '!/^ +Start +[0-9]+: / && !/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$/'
