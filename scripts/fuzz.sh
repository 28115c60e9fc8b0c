#!/usr/bin/env bash
# Fuzzes the report-descriptor parser and the HidP_* capability calls: builds the fuzz preset
# (clang++-14, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs the fuzzer for
# the given number of seconds (default 60) on a copy of the seed corpus. A crash, a leak, a
# sanitizer report or an input slower than 10 s fails the run; the input is kept in
# build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-60}"
scripts/install-deps.sh --fuzz
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"

corpus=build/fuzz/corpus
artifacts=build/fuzz/artifacts
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
cp fuzz/corpus/* "$corpus"/
build/fuzz/hid_descriptor_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$artifacts"/ "$corpus"
