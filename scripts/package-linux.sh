#!/usr/bin/env bash
# Builds the Debian packages of the Linux build into dist/: libbrenwick1 (the camera control
# library), liboptiqoncameras1 (the camera API), libbrenwick-dev (what a host of either builds
# against), optiqon-fw-upgrader (the upgrader and the camera's udev rule), optiqon (the
# command-line tool) and python3-optiqon (the Python package, for every architecture), each named
# <package>_<version>_<architecture>.deb, and the Python package's wheel,
# optiqon-<version>-py3-none-any.whl, which python3-optiqon holds unpacked. The build tree is
# build/linux-package, configured for /usr (packaging/linux/cpack.cmake says how the packages
# are made). scripts/check-linux-packages.sh checks them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
scripts/install-deps.sh --deb
cmake --preset linux-package
cmake --build --preset linux-package -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

# Packages of an earlier version or build are not carried along.
packages=(libbrenwick1 liboptiqoncameras1 libbrenwick-dev optiqon-fw-upgrader optiqon python3-optiqon)
for package in "${packages[@]}"; do
  rm -f build/linux-package/"$package"_*.deb dist/"$package"_*.deb
done
rm -f dist/optiqon-*-py3-none-any.whl
cpack --preset linux-package
mkdir -p dist
for package in "${packages[@]}"; do
  cp build/linux-package/"$package"_*.deb dist/
  echo "package-linux: $(ls dist/"$package"_*.deb)"
done
cp build/linux-package/python/optiqon-*-py3-none-any.whl dist/
echo "package-linux: $(ls dist/optiqon-*-py3-none-any.whl)"
