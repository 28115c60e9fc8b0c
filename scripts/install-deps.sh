#!/usr/bin/env bash
# Installs what building and testing the kit needs on Debian: CMake, the C++ compiler, make,
# GoogleTest, CLI11, nlohmann/json, Boost (the panel's HTTP server), libudev, Chromium (the
# panel's browser tests) and pytest (the Python package's tests); with --windows also the
# mingw-w64 cross-compiler, Wine and wixl, with --fuzz clang and libFuzzer, with --format
# clang-format, with --deb what makes and checks the Debian packages; with either of those two,
# what builds the Python package's wheel.
# Nothing is installed when everything is already there.
set -euo pipefail

missing=()
for tool in cmake g++ make; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
# The status read in full, then matched: `dpkg-query | grep -q` under pipefail would count a
# dpkg-query killed by SIGPIPE, after grep had found the line and left, as a package missing.
installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == *'install ok installed'* ]]
}
installed libgtest-dev || missing+=(libgtest-dev)
# The command-line tool's argument parser and JSON, both header-only.
for package in libcli11-dev nlohmann-json3-dev; do
  installed "$package" || missing+=("$package")
done
# The panel's HTTP server: Boost.Beast and Boost.Asio, header-only.
installed libboost1.81-dev || missing+=(libboost1.81-dev)
# The watcher's device events on Linux: libudev, found through pkg-config.
for package in libudev-dev pkg-config; do
  installed "$package" || missing+=("$package")
done
# The control panel's browser tests (tests/browser): Debian's Chromium, which playwright-core
# drives headless; its npm packages the tests install themselves.
installed chromium || missing+=(chromium)
# The Python package's tests (tests/python): pytest, run by Debian's own python3.
installed python3-pytest || missing+=(python3-pytest)
# The Python package's wheel, built offline (python3 -m build --no-isolation), for the Debian
# package and the Windows zip alike.
if [ "${1:-}" = "--deb" ] || [ "${1:-}" = "--windows" ]; then
  for package in python3-build python3-setuptools python3-wheel; do
    installed "$package" || missing+=("$package")
  done
fi
# The Windows package: the mingw-w64 cross-compiler, Wine to check it, and wixl (msitools) to
# build its installer; Xvfb (with xauth, which xvfb-run needs) gives Wine a display, without which
# it makes no top-level window, for the watcher's check at the session's end; curl asks the
# panel's interface from Linux while the panel runs under Wine.
if [ "${1:-}" = "--windows" ]; then
  for package in g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wixl xvfb xauth curl; do
    installed "$package" || missing+=("$package")
  done
fi
# The formatting check: the clang-format that lays out the tree.
if [ "${1:-}" = "--format" ]; then
  installed clang-format || missing+=(clang-format)
fi
# The fuzzer: clang with libFuzzer and the sanitizers' runtimes.
if [ "${1:-}" = "--fuzz" ]; then
  for package in clang-14 libclang-rt-14-dev; do
    installed "$package" || missing+=("$package")
  done
fi
# The Debian packages: dpkg-shlibdeps (dpkg-dev) and file, which CPack's DEB generator runs to
# find each package's libraries, lintian, pkg-config for the host built against the package, and
# systemd-analyze (systemd) with man (man-db) to verify the watcher's user service.
if [ "${1:-}" = "--deb" ]; then
  for package in dpkg-dev file lintian pkg-config systemd man-db; do
    installed "$package" || missing+=("$package")
  done
fi

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
