#!/usr/bin/env bash
# The main job: installs what is missing, builds the shipping binaries into
# dist/, then shows both components at work under Wine (scripts/demo.py).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh

echo "== building the shipping binaries (32-bit) into dist/"
cmake --preset release > build/configure-release.log 2>&1 || { cat build/configure-release.log; exit 1; }
cmake --build --preset release > build/build-release.log 2>&1 || { cat build/build-release.log; exit 1; }
rm -rf dist
mkdir -p dist
cp build/release/bin/update.exe build/release/bin/netvane.dll build/release/bin/netvane_console.exe \
   netvane/include/netvane.h netvane/netvane.def dist/
ls -l dist | tail -n +2 | awk '{printf "   %-22s %9d bytes\n", $9, $5}'

echo "== building the demonstration binaries (test preset: the same sources, asking 127.0.0.1)"
cmake --preset test > build/configure-test.log 2>&1 || { cat build/configure-test.log; exit 1; }
cmake --build --preset test > build/build-test.log 2>&1 || { cat build/build-test.log; exit 1; }

exec python3 -B scripts/demo.py
