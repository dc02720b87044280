#!/usr/bin/env bash
# Builds the shipping binaries twice, from two clean clones of the same commit
# in different directories and at different times, and compares them byte for
# byte, so that anyone can check that a binary came from its source.
#   scripts/check-reproducible.sh [COMMIT]   (default: HEAD)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
commit="$(git -C "$root" rev-parse "${1:-HEAD}")"
"$root/scripts/setup.sh" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
binaries=(update.exe netvane.dll netvane_console.exe)

build() {
  local dir="$1"
  git clone -q "$root" "$dir"
  git -C "$dir" checkout -q "$commit"
  "$dir/scripts/setup.sh" >/dev/null
  cmake --preset release -S "$dir" >/dev/null
  cmake --build "$dir/build/release" -j2 >/dev/null
}

build "$work/first"
sleep 2   # a different second, so a time stamp anywhere would show
build "$work/second/with a longer path"

status=0
for b in "${binaries[@]}"; do
  a="$work/first/build/release/bin/$b"
  c="$work/second/with a longer path/build/release/bin/$b"
  if cmp -s "$a" "$c"; then
    printf '%-22s identical  %s\n' "$b" "$(sha256sum "$a" | cut -c1-16)"
  else
    printf '%-22s DIFFERENT\n' "$b"
    status=1
  fi
done
exit $status
