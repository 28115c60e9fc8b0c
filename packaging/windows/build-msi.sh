#!/usr/bin/env bash
# Builds the kit's MSI from staged install components with wixl:
#   packaging/windows/build-msi.sh <stage> <version> <output.msi>
# <stage>/<component>/ holds what `cmake --install <build> --component <component>` put there
# (upgrader, runtime, cameras, development, tool). The version is the product's, major.minor.patch.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 <stage directory> <version> <output.msi>" >&2
  exit 2
fi
stage=$(cd "$1" && pwd)
version=$2
output=$3
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Windows Installer reads a product version as up to three numbers, the first below 256.
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "build-msi: '$version' is not a version of the form major.minor.patch" >&2
  exit 1
fi

cmake -DSTAGE="$stage" "-DCOMPONENTS=upgrader;runtime;cameras;development;tool" \
  -DOUTPUT="$stage/files.wxs" -P "$here/stage_to_wxs.cmake"
mkdir -p "$(dirname "$output")"
# wixl warns through GLib about attributes it does not know; a missing file or a bad reference
# fails the build with its own message.
wixl -a x64 -D Version="$version" -o "$output" "$here/Optiqon.wxs" "$stage/files.wxs"
