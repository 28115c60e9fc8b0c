#!/usr/bin/env bash
# Fails when a C or C++ source of the tree is not as .clang-format lays it out; lists each such
# place. Run `clang-format -i <file>` to mend one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --format
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "check-format: every source is formatted"
