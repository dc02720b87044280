#!/usr/bin/env bash
# Benchmarks of update.exe, side by side in one Wine session, written to
# docs/benchmarks.md (and printed). Not a test: timings depend on the machine.
#
#   scripts/bench.sh [ROUNDS]      (default 15 runs per side)
#
# 1. A run that finds no update against a bare program that only fetches the
#    same URL with URLDownloadToFileW (goal: at most 1.2x).
# 2. Reading a 100 MB manifest the updater's way (ReadWholeFile and the parse)
#    against a bare 64 KB fread loop over the same file, inside one process.
# 3. The sizes of the shipping binaries of the release preset (goals:
#    netvane.dll at most 16 KB, update.exe at most 1.3 MB).
#
# Own build trees (build/bench, build/bench-rel) and Wine prefix
# (build/wine-bench unless WINEPREFIX is set); port 9090 must be free.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
rounds="${1:-15}"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-bench}"
wine_run="$root/cmake/wine-run"
tree="$root/build/bench"
work="$tree/bench-work"
port=9090

echo "building the test tree ($tree) and the release tree ($root/build/bench-rel)..." >&2
cmake --preset test -B "$tree" >/dev/null
cmake --build "$tree" -j"$(nproc)" --target update keepalive bare_download read_bench >/dev/null
cmake --preset release -B "$root/build/bench-rel" >/dev/null
cmake --build "$root/build/bench-rel" -j"$(nproc)" >/dev/null

rm -rf "$work"
mkdir -p "$work/app" "$work/service"
cp "$tree/bin/update.exe" "$work/app/update.exe"
printf '{"version": "1.0.0", "type": "bench"}' > "$work/app/updateinfo"
cp "$root/demo/service/no-update.json" "$work/service/version.json"

cleanup() {
  "$root/tests/tools/service-fixture" stop "$port" "$work/service" || true
  "$root/cmake/wine-session" stop || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/cmake/wine-session" start "$tree/bin/keepalive.exe"
"$root/tests/tools/service-fixture" start "$port" "$work/service"

win() { printf 'Z:%s' "${1//\//\\}"; }
now_ns() { date +%s%N; }
# Runs a Windows program once and prints its wall time in milliseconds.
timed() {
  local start end
  start=$(now_ns)
  "$wine_run" "$@" </dev/null >/dev/null 2>&1 || true
  end=$(now_ns)
  echo $(( (end - start) / 1000000 ))
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : int((v[NR/2]+v[NR/2+1])/2)}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }

query="http://127.0.0.1:$port/version/update?version=1.0.0&type=bench"
# The first start of each program warms Wine's caches; it is not counted.
timed "$work/app/update.exe" >/dev/null
timed "$tree/bin/bare_download.exe" "$query" "$(win "$work/bare.json")" >/dev/null
update_times=() bare_times=()
for _ in $(seq 1 "$rounds"); do
  update_times+=("$(timed "$work/app/update.exe")")
  bare_times+=("$(timed "$tree/bin/bare_download.exe" "$query" "$(win "$work/bare.json")")")
done
update_ms=$(printf '%s\n' "${update_times[@]}" | median)
bare_ms=$(printf '%s\n' "${bare_times[@]}" | median)
run_ratio=$(ratio "$update_ms" "$bare_ms")

# A 100 MB manifest: 1 KB strings in an array, the answer at the end.
manifest="$work/manifest.json"
python3 - "$manifest" <<'PY'
import sys
piece = b'"' + b"x" * 1021 + b'",'
with open(sys.argv[1], "wb") as f:
    f.write(b'{"filler": [' + piece * (100 * 1024) +
            b'"end"], "data": {"is_update": false, "download_url": ""}}')
PY
manifest_mb=$(( $(stat -c %s "$manifest") / 1048576 ))
"$wine_run" "$tree/bin/read_bench.exe" fread "$(win "$manifest")" 1 >/dev/null 2>&1 || true
fread_ms=$("$wine_run" "$tree/bin/read_bench.exe" fread "$(win "$manifest")" 3 2>/dev/null | tr -d '\r')
read_ms=$("$wine_run" "$tree/bin/read_bench.exe" read "$(win "$manifest")" 3 2>/dev/null | tr -d '\r')
parse_ms=$("$wine_run" "$tree/bin/read_bench.exe" parse "$(win "$manifest")" 3 2>/dev/null | tr -d '\r')
read_ratio=$(ratio "$parse_ms" "$fread_ms")
whole_ratio=$(ratio "$read_ms" "$fread_ms")
rm -f "$manifest"

size_of() { stat -c %s "$root/build/bench-rel/bin/$1"; }
update_size=$(size_of update.exe)
netvane_size=$(size_of netvane.dll)
verdict() { awk -v v="$1" -v g="$2" 'BEGIN {print (v <= g) ? "met" : "NOT met"}'; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
wine_version=$("$wine_run" --version 2>/dev/null || echo unknown)
report="$root/docs/benchmarks.md"
mkdir -p "$root/docs"
cat > "$report" <<MD
# Benchmarks

Written by \`scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'). Timings are for the x86_64
build of the sources under 64-bit Wine (this machine cannot run 32-bit code); sizes are those of
the shipping 32-bit release build.

Machine: $(nproc) CPUs, ${cpu:-unknown CPU}; ${wine_version}.

| Measure | Result | Against | Ratio | Goal |
|---|---|---|---|---|
| update.exe run that finds no update (median of $rounds, whole process) | ${update_ms} ms | bare URLDownloadToFileW program: ${bare_ms} ms | ${run_ratio}x | at most 1.2x: $(verdict "$run_ratio" 1.2) |
| Reading a ${manifest_mb} MB manifest (ReadWholeFile + parse, best of 3) | ${parse_ms} ms | bare 64 KB fread loop: ${fread_ms} ms | ${read_ratio}x | none set |
| The same file through ReadWholeFile alone (best of 3) | ${read_ms} ms | bare 64 KB fread loop: ${fread_ms} ms | ${whole_ratio}x | none set |
| update.exe (release, i686) | $update_size bytes | | | at most 1.3 MB (1363148): $(verdict "$update_size" 1363148) |
| netvane.dll (release, i686) | $netvane_size bytes | | | at most 16 KB (16384): $(verdict "$netvane_size" 16384) |

Both programs of the first row start as Windows processes in the same Wine session, alternating,
after one unmeasured warm-up start each; a process start under Wine costs most of either time.
The manifest of the second row is an array of 1 KB strings with the answer at its end, so the
whole text is read and parsed; the fread loop only moves the bytes through one buffer, while
ReadWholeFile also keeps them (a growing string), and the parse builds the document's values.
MD
cat "$report"
