#!/usr/bin/env bash
# Fuzzes what a device or a host hands the kit, with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (the fuzz preset, clang++-14):
#   hid_descriptor_fuzz  the report-descriptor parser and the HidP_* capability calls
#   uvc_topology_fuzz    the UVC descriptors the library's Linux backend reads from sysfs
#   command_line_fuzz    the Windows-style splitting of the upgrader's command line, and the
#                        quoting with which the command-line tool builds one
# Each target runs for the given number of seconds (default 60) on a copy of its seed corpus in
# fuzz/corpus/<target>. A crash, a leak, a sanitizer report or an input slower than 10 s fails
# the run; the input is kept in build/fuzz/artifacts/<target>.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-60}"
targets=(hid_descriptor_fuzz uvc_topology_fuzz command_line_fuzz)
scripts/install-deps.sh --fuzz
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "fuzz: $target for ${seconds} s"
  build/fuzz/"$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts"/ "$corpus"
done
