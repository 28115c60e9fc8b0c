#!/usr/bin/env bash
# Builds the Windows packages into dist/ from the `windows` preset:
#   dist/Optiqon-<version>-win64.msi  the installer: C:\Program Files\Optiqon, the upgrader, the
#                                     library and the optiqon tool, and the SDK as a second feature
#                                     (with the camera API, OptiqonCameras.dll)
#   dist/Optiqon-<version>-win64.zip  the same files in a folder Optiqon/, to unpack by hand, and
#                                     the Python package's wheel in Optiqon/python/
# The version is the project's. Installs the cross-compiler, Wine, wixl and what builds the wheel
# when missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --windows
export HOME="${HOME:-/root}"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

build=build/windows
cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"
}
version=$(cache_value CMAKE_PROJECT_VERSION)
# The library starts the upgrader from the directory compiled into it; the installer puts the
# upgrader in C:\Program Files\Optiqon\bin, so a build configured for another place would ship
# a library that never finds it.
upgrader_directory=$(cache_value BRENWICK_UPGRADER_DIRECTORY)
if [ "$upgrader_directory" != 'C:\Program Files\Optiqon\bin' ]; then
  echo "package-windows: the library looks for the upgrader in '$upgrader_directory'," \
    'the installer puts it in C:\Program Files\Optiqon\bin' >&2
  exit 1
fi

# Each install component on its own, for the installer's features, and everything at once, to
# catch a file the install rules put in no component the installer knows.
package=$build/package
rm -rf "$package"
components=(upgrader runtime cameras development tool)
for component in "${components[@]}"; do
  cmake --install "$build" --prefix "$package/components/$component" --component "$component" \
    >/dev/null
done
cmake --install "$build" --prefix "$package/zip/Optiqon" >/dev/null
# Shipped without symbols, with the toolchain's strip: `cmake --install --strip` would leave the
# upgrader's second name, a renamed copy, as built.
strip=$(cache_value CMAKE_STRIP)
find "$package" -type f \( -name '*.exe' -o -name '*.dll' \) -exec "$strip" --strip-all {} +
listed() {
  (cd "$1" && find . -type f | sed 's|^\./||' | sort)
}
unplaced=$(comm -13 <(for component in "${components[@]}"; do
  listed "$package/components/$component"
done | sort) <(listed "$package/zip/Optiqon"))
if [ -n "$unplaced" ]; then
  echo "package-windows: installed in no component of the installer (${components[*]}):" >&2
  echo "$unplaced" >&2
  exit 1
fi

# The Python package's wheel, the same on Windows as on Linux, for `py -m pip install` on the PC:
# in the zip beside the kit's folders. It is no file of the installer's features.
wheel=$(scripts/build-wheel.sh "$build/python" | tail -n 1)
mkdir -p "$package/zip/Optiqon/python"
cp "$wheel" "$package/zip/Optiqon/python/"

mkdir -p dist
msi=dist/Optiqon-$version-win64.msi
zip=dist/Optiqon-$version-win64.zip
rm -f "$msi" "$zip"
packaging/windows/build-msi.sh "$package/components" "$version" "$msi"
# The folder Optiqon/ unpacked into C:\Program Files is where the library looks for the
# upgrader.
(cd "$package/zip" && cmake -E tar cf "$OLDPWD/$zip" --format=zip Optiqon)
echo "package-windows: $msi"
echo "package-windows: $zip"
