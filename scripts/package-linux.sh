#!/usr/bin/env bash
# Builds the Debian packages of the Linux build into dist/: libbrenwick1 (the camera control
# library), liboptiqoncameras1 (the camera API), libbrenwick-dev (what a host of either builds
# against), optiqon-fw-upgrader (the upgrader and the camera's udev rule) and optiqon (the
# command-line tool), each named <package>_<version>_<architecture>.deb. The build tree is
# build/linux-package, configured for /usr (packaging/linux/cpack.cmake says how the packages
# are made). scripts/check-linux-packages.sh checks them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
scripts/install-deps.sh --deb
cmake --preset linux-package
cmake --build --preset linux-package -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

# Packages of an earlier version or build are not carried along.
packages=(libbrenwick1 liboptiqoncameras1 libbrenwick-dev optiqon-fw-upgrader optiqon)
for package in "${packages[@]}"; do
  rm -f build/linux-package/"$package"_*.deb dist/"$package"_*.deb
done
cpack --preset linux-package
mkdir -p dist
for package in "${packages[@]}"; do
  cp build/linux-package/"$package"_*.deb dist/
  echo "package-linux: $(ls dist/"$package"_*.deb)"
done
