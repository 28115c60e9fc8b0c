#!/usr/bin/env bash
# Installs what building and testing the kit needs on Debian: CMake, the C++ compiler, make and
# GoogleTest. Nothing is installed when everything is already there.
set -euo pipefail

missing=()
for tool in cmake g++ make; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
installed libgtest-dev || missing+=(libgtest-dev)

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: missing ${missing[*]}, and sudo is not available to install them" >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
