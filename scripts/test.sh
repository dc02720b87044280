#!/usr/bin/env bash
# Builds the test tree and runs the whole suite under Wine.
# Extra arguments go to ctest (for example -R update to run a subset).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh
cmake --preset test > build/configure-test.log 2>&1 || { cat build/configure-test.log; exit 1; }
cmake --build --preset test
ctest --preset test "$@"
