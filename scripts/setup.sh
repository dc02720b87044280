#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: the mingw-w64
# cross compilers, CMake, Wine, doctest and Python from Debian's packages, and
# the jsoncpp sources from Debian's source package. Safe to run again: it only
# does what is missing, and takes seconds when everything is there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/build/deps"
jsoncpp_version=1.9.5

packages=(
  cmake make python3 binutils
  g++-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 doctest-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo "$@"
  else
    echo "setup: installing packages needs root; run this as root or with password-less sudo." >&2
    echo "setup: still missing: ${missing[*]:-}" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# jsoncpp has no mingw build in Debian, so we build it from Debian's own source
# package. The source list is derived from the machine's apt configuration and
# kept private, so the system's apt setup is never touched.
if [ ! -f "$deps/jsoncpp-$jsoncpp_version/CMakeLists.txt" ]; then
  echo "setup: fetching the jsoncpp $jsoncpp_version sources"
  apt_dir="$deps/apt"
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
  shopt -s nullglob
  for f in /etc/apt/sources.list.d/*.sources; do
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" > "$apt_dir/sources/$(basename "$f").list"
  done
  shopt -u nullglob
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
            -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
            -o APT::Sandbox::User=root -q)
  apt-get "${apt_opts[@]}" update >/dev/null
  (cd "$apt_dir/download" && apt-get "${apt_opts[@]}" source --download-only "libjsoncpp=$jsoncpp_version-*" >/dev/null 2>&1 \
     || apt-get "${apt_opts[@]}" source --download-only libjsoncpp >/dev/null)
  tarball=$(ls "$apt_dir/download"/libjsoncpp_"$jsoncpp_version".orig.tar.* 2>/dev/null | head -n 1)
  if [ -z "$tarball" ]; then
    echo "setup: Debian's source package libjsoncpp $jsoncpp_version was not found" >&2
    exit 1
  fi
  tar -xf "$tarball" -C "$deps"
  rm -rf "$apt_dir"
fi

echo "setup: ready"
