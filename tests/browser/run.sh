#!/usr/bin/env bash
# Runs the control panel's browser tests: the page served by `optiqon_sim panel`, driven in
# Debian's headless Chromium by playwright-core under Node's own test runner.
#
#   tests/browser/run.sh OPTIQON_SIM [NAME...]   the tests NAME.test.mjs (default: all but the
#                                               screenshot), against the built optiqon_sim
#   tests/browser/run.sh --install               only install the npm packages
#
# playwright-core is installed from package-lock.json into tests/browser/node_modules with
# `npm ci`, once: a node_modules that already matches the lock is used as it is, with no network.
# Anything missing fails with what to do, never a silent skip.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

fail() {
  echo "browser tests: $*" >&2
  exit 1
}

check_tools() {
  command -v node >/dev/null 2>&1 || fail "node is missing: the browser tests need Node.js 20 or later"
  command -v npm >/dev/null 2>&1 || fail "npm is missing: the browser tests install playwright-core with it"
  local major
  major="$(node -p 'process.versions.node.split(".")[0]')"
  [ "$major" -ge 20 ] || fail "node $(node --version) is too old: the browser tests need Node.js 20 or later"
  [ -x /usr/bin/chromium ] ||
    fail "/usr/bin/chromium is missing: scripts/install-deps.sh installs Debian's chromium package"
}

# The lock's copy in node_modules says what was installed from it.
install_packages() {
  local stamp="$here/node_modules/.optiqon-package-lock.json"
  if cmp -s "$here/package-lock.json" "$stamp" && [ -d "$here/node_modules/playwright-core" ]; then
    return
  fi
  echo "browser tests: installing playwright-core (npm ci in $here)"
  (cd "$here" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error) ||
    fail "npm ci failed in $here: installing playwright-core needs the npm registry once"
  cp "$here/package-lock.json" "$stamp"
}

check_tools
if [ "${1:-}" = "--install" ]; then
  install_packages
  exit 0
fi
[ $# -ge 1 ] || fail "usage: $0 OPTIQON_SIM [NAME...] | $0 --install"
OPTIQON_SIM="$(realpath "$1")"
shift
[ -x "$OPTIQON_SIM" ] || fail "$OPTIQON_SIM is not a program: build the sim preset first"
export OPTIQON_SIM
install_packages

files=()
if [ $# -eq 0 ]; then
  for file in "$here"/*.test.mjs; do
    [ "$(basename "$file")" = screenshot.test.mjs ] || files+=("$file")
  done
else
  for name in "$@"; do
    [ -f "$here/$name.test.mjs" ] || fail "no test file $here/$name.test.mjs"
    files+=("$here/$name.test.mjs")
  done
fi
# One file after the other: each starts its own Chromium and panels, and the machine has two cores.
exec node --test --test-concurrency=1 "${files[@]}"
