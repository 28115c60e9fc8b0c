#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own (build/windows/installer-check):
# an earlier version installs, the current MSI replaces it in place and refuses to be replaced
# by it; every staged file lands in C:\Program Files\Optiqon byte for byte; the installed
# upgrader, library, tool and camera API pass the same checks as the build tree's; installing the
# same MSI again changes nothing; and removing it leaves no file and no registration behind.
# Builds the packages first (scripts/package-windows.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$PWD

scripts/package-windows.sh
build=$root/build/windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi=$root/dist/Optiqon-$version-win64.msi
staged=$build/package/components

work=$build/installer-check
export HOME="${HOME:-/root}"
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# The prefix's server, when one is left, ends (and writes its registry) before the prefix goes.
stop_wine() {
  if [ -d "$WINEPREFIX" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
  fi
}
stop_wine
rm -rf "$work"
mkdir -p "$work"
installed="$WINEPREFIX/drive_c/Program Files/Optiqon"

fail() {
  echo "installer-check: $*" >&2
  exit 1
}
step() {
  echo "installer-check: $*"
}
trap stop_wine EXIT

msiexec() {
  local action=$1 package
  package=$("$wine" winepath -w "$2")
  "$wine" msiexec "$action" "$package" /qn
}

# The versions of the kit Windows Installer has registered, one a line: what Programs and
# Features lists.
registered_versions() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    tr -d '\r' | awk '
      /^HKEY_/ { name = ""; version = "" }
      $1 == "DisplayName" { sub(/^[ \t]*DisplayName[ \t]+REG_SZ[ \t]+/, ""); name = $0 }
      $1 == "DisplayVersion" { sub(/^[ \t]*DisplayVersion[ \t]+REG_SZ[ \t]+/, ""); version = $0 }
      name == "Optiqon service kit" && version != "" { print version; name = "" }'
}
expect_registered() {
  local found
  found=$(registered_versions | paste -sd ' ')
  [ "$found" = "$*" ] || fail "registered versions [${found}], expected [$*]"
}

# Every file each install component staged, where the installer puts it, with the same bytes.
expect_installed_files() {
  local component file count=0
  for component in "$staged"/*/; do
    while IFS= read -r -d '' file; do
      file=${file#"$component"}
      cmp -s "$component/$file" "$installed/$file" ||
        fail "C:\\Program Files\\Optiqon\\${file//\//\\} is missing or differs from the staged file"
      count=$((count + 1))
    done < <(find "$component" -type f -print0)
  done
  step "$count files in C:\\Program Files\\Optiqon as staged"
}

step "a new Wine prefix"
"$wine" wineboot -i >"$work/wineboot.txt" 2>&1 || {
  cat "$work/wineboot.txt" >&2
  fail "wineboot could not make the Wine prefix"
}

# An earlier version, made from the same files, so that the current one meets an installed kit.
earlier=$work/Optiqon-0.0.1-win64.msi
packaging/windows/build-msi.sh "$staged" 0.0.1 "$earlier"
step "msiexec /i Optiqon-0.0.1-win64.msi /qn"
msiexec /i "$earlier" || fail "installing the earlier version exited $?"
expect_registered 0.0.1

step "msiexec /i $(basename "$msi") /qn: the upgrade"
msiexec /i "$msi" || fail "installing $(basename "$msi") over 0.0.1 exited $?"
expect_registered "$version"
expect_installed_files
cmp -s "$installed/bin/optiqon_fw_upgrader.exe" "$installed/bin/optiqon_upgrade.exe" ||
  fail "optiqon_fw_upgrader.exe and optiqon_upgrade.exe are not the same program"

step "the installed upgrader"
cmake -DWINE="$wine" -DUPGRADER='C:\Program Files\Optiqon\bin\optiqon_fw_upgrader.exe' \
  -DWORK="$work/upgrader-runs" -P tests/windows/upgrader_check.cmake
# Run from the work folder: the upgrader the library starts writes its log file where it runs.
step "the installed library, starting the installed upgrader"
(cd "$work" && cmake -DWINE="$wine" -DINSTALLED=ON -DBUILD_DIR="$work" \
  -DINSTALL_DIR="$installed" -DHOST="$build/tests/windows/brenwick_wine_host.exe" \
  -P "$root/tests/windows/library_check.cmake") >"$work/library-check.txt" 2>&1 || {
  cat "$work/library-check.txt" >&2
  fail "the installed library failed its checks"
}

step "the installed optiqon tool, over the installed library and upgrader"
cmake -DWINE="$wine" -DVERSION="$version" -DTOOL='C:\Program Files\Optiqon\bin\optiqon.exe' \
  -DWORK="$work/tool-runs" -P tests/windows/tool_check.cmake >"$work/tool-check.txt" 2>&1 || {
  cat "$work/tool-check.txt" >&2
  fail "the installed tool failed its checks"
}

# The camera API's host in C, built against its import library, on the DLL the Kit feature
# installed: no camera under Wine, said plainly.
step "the installed camera API, under its C host"
WINEPATH='C:\Program Files\Optiqon\bin' cmake -DWINE="$wine" \
  -DHOST="$build/tests/windows/optiqon_cameras_host.exe" -DWORK="$work/cameras-host-runs" \
  -DEXPECTED_CODE=1 "-DEXPECTED=Optiqon camera API $version|No Corvantis Optiqon camera is connected." \
  -P tests/windows/cameras_host_check.cmake >"$work/cameras-host-check.txt" 2>&1 || {
  cat "$work/cameras-host-check.txt" >&2
  fail "the installed camera API failed its checks"
}

step "msiexec /i Optiqon-0.0.1-win64.msi /qn over $version: refused"
if msiexec /i "$earlier"; then
  fail "the earlier version installed over $version"
fi
expect_registered "$version"

step "msiexec /i $(basename "$msi") /qn again"
msiexec /i "$msi" || fail "installing $(basename "$msi") a second time exited $?"
expect_registered "$version"
expect_installed_files

step "msiexec /x $(basename "$msi") /qn"
msiexec /x "$msi" || fail "removing $(basename "$msi") exited $?"
expect_registered ""
if [ -d "$installed" ] && [ -n "$(find "$installed" -type f)" ]; then
  fail "files left after removal: $(find "$installed" -type f | tr '\n' ' ')"
fi
step "removed: no file and no registration left"
