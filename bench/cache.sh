#!/usr/bin/env bash
# Start-up in cache mode, for the Windows DLLs that Debian's wine64 installs (packed at
# level 1 beside the test module): the first start, which extracts into the cache
# folder, the repeat start, which finds the folder complete and runs from it, and a
# bare Windows program that loads the same module from the same folder and calls
# run_code. All are timed inside Wine by time_runs (process start to exit), in the
# same run; the repeat/bare ratio is the figure to watch.
# A second row: the repeat start of 10,000 small files (bench/many_files) against the
# repeat start of the module alone; the check of a complete folder should not grow
# with the number of files.
# Usage: bench/cache.sh [RUNS] [CORPUS_DIR]   (after scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
runs=${1:-20}
corpus="${2:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
win="$build/windows"
. "$top/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tarvex_cache_XXXXXX)
trap 'rm -rf "$work"' EXIT
z() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/app"
cp "$win/tests/e2e/test_module.dll" "$work/app/app.dll"
cp -r "$corpus" "$work/app/files"
"$top/dist/bin/tarvex" pack "$work/app" --main app.dll --level 1 --cache-dir "$(z "$work/cache")" \
  -o "$work/app.exe" >/dev/null
files=$(find "$work/app" -type f | wc -l)
bytes=$(du -sb "$work/app" | cut -f1)
rm -rf "$work/app"
key=$("$top/dist/bin/tarvex" list "$work/app.exe" | sed -n -E 's/^mode cache, folder .*\\([0-9a-f]+), .*/\1/p')
cp "$win/bench/bare_loader.exe" "$work/"
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
cat "$work/app.exe" >/dev/null
# Each start is timed in turn with the one it is compared with, and the ratio is that
# of the medians: a start under Wine here varies by two to three times from run to run.
pair() { wine "$win/bench/time_runs.exe" "$runs" --turns "$2" "$1" | tr -d '\r'; }
side() { echo "$1" | sed -n "s/^$2: //p"; }
ratio() { echo "$1" | sed -nE 's/^ratio of medians 1\/0: ([0-9.]+)$/\1/p'; }
first=$(wine "$win/bench/time_runs.exe" 1 "$(z "$work/app.exe")" | tr -d '\r')
test -f "$work/cache/$key/app.dll" || { echo "no cache folder after the first start" >&2; exit 1; }
repeat=$(pair "$(z "$work/app.exe")" "$(z "$work/bare_loader.exe") $(z "$work/cache/$key/app.dll")")
echo "application: $files files, $bytes bytes; executable $(stat -c %s "$work/app.exe") bytes"
echo "first start:  $first"
echo "repeat start: $(side "$repeat" 1)"
echo "bare loader:  $(side "$repeat" 0)"
echo "ratio repeat/bare (medians): $(ratio "$repeat") (target: at most 2.5)"

# Many small files against one.
# TARVEX_LAUNCHER names another Launcher for this row (default: the one built).
cached() {  # cached NAME: packs $work/NAME in cache mode, starts it once to fill its folder
  "$top/dist/bin/tarvex" pack "$work/$1" ${TARVEX_LAUNCHER:+--launcher "$TARVEX_LAUNCHER"} --main app.dll --level 1 --cache-dir "$(z "$work/cache_$1")" \
    -o "$work/$1.exe" >/dev/null
  wine "$(z "$work/$1.exe")" >/dev/null
}
mkdir -p "$work/one" "$work/many"
cp "$win/tests/e2e/test_module.dll" "$work/one/app.dll"
cp "$win/tests/e2e/test_module.dll" "$work/many/app.dll"
wine "$win/bench/many_files.exe" make "$(z "$work/many/files")" 10000
cached one
cached many
many=$(pair "$(z "$work/many.exe")" "$(z "$work/one.exe")")
echo "repeat start, the module alone:      $(side "$many" 0)"
echo "repeat start, 10,000 files besides:  $(side "$many" 1)"
echo "ratio many/one (medians): $(ratio "$many") (target: at most 1.3)"
# The floor of that ratio: any check of every file's size lists every folder at least,
# and the system's listing itself takes this long (the least of three).
least=
for round in 1 2 3; do
  t=$(wine "$win/bench/many_files.exe" list "$(z "$work/cache_many")" | tr -d '\r' | sed -nE 's/^listing: ([0-9.]+) ms.*/\1/p')
  if [ -z "$least" ] || [ "$(echo "$t < $least" | bc)" = 1 ]; then least=$t; fi
done
one_median=$(side "$many" 0 | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
echo "listing the 10,000 files' folders alone: $least ms"
echo "floor of the ratio, (one + listing)/one: $(echo "scale=2; ($one_median + $least) / $one_median" | bc)"
echo "Launcher size: $(stat -c %s "$top/dist/bin/tarvex-launcher.exe") bytes"
