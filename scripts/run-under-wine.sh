#!/usr/bin/env bash
# Runs a Windows program of a cross build under Wine, in the build tree's own Wine prefix:
#   scripts/run-under-wine.sh <wine prefix> <program.exe> [arguments...]
# The cross builds name it as their emulator, so that ctest and GoogleTest's test discovery run
# the Windows test programs as they would run native ones.
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=-all
export HOME="${HOME:-/root}"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
exec "$wine" "$@"
