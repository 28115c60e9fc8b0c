#!/usr/bin/env bash
# Builds the Python package's wheel, optiqon-<version>-py3-none-any.whl, into the folder given
# (dist/ by default), offline: Debian's python3-build with setuptools already installed
# (--no-isolation: nothing is fetched). The build runs on a copy of python/, so that setuptools'
# build/ and optiqon.egg-info/ land in a scratch folder rather than in the source tree. Prints the
# wheel's path on its last line. scripts/install-deps.sh --deb installs what it needs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

out=$(realpath -m "${1:-dist}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Debian's python3, which python3-build and setuptools belong to, whatever python3 PATH finds.
python=/usr/bin/python3
cp -r python "$scratch/source"
find "$scratch/source" -name __pycache__ -prune -exec rm -rf {} +
version=$(sed -n 's/^__version__ = "\(.*\)"$/\1/p' python/optiqon/_version.py)
wheel=optiqon-$version-py3-none-any.whl
mkdir -p "$out"
rm -f "$out/$wheel"
# The wheel's file times from the last commit, so that a wheel built again from the same commit
# is the same file.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)} \
  PYTHONDONTWRITEBYTECODE=1 \
  "$python" -m build --wheel --no-isolation --outdir "$scratch/dist" "$scratch/source" \
  >"$scratch/log" 2>&1 || {
  cat "$scratch/log" >&2
  echo "build-wheel: python3 -m build failed" >&2
  exit 1
}
[ -f "$scratch/dist/$wheel" ] || {
  echo "build-wheel: $wheel was not made (the version in python/optiqon/_version.py?)" >&2
  ls "$scratch/dist" >&2
  exit 1
}
cp "$scratch/dist/$wheel" "$out/"
echo "$out/$wheel"
