#!/usr/bin/env bash
# Start-up in cache mode, for the Windows DLLs that Debian's wine64 installs (packed at
# level 1 beside the test module): the first start, which extracts into the cache
# folder, the repeat start, which finds the folder complete and runs from it, and a
# bare Windows program that loads the same module from the same folder and calls
# run_code. All are timed inside Wine by time_runs (process start to exit), in the
# same run; the repeat/bare ratio is the figure to watch.
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
mean() { echo "$1" | sed -E 's/.*mean ([0-9.]+) ms.*/\1/'; }
first=$(wine "$win/bench/time_runs.exe" 1 "$(z "$work/app.exe")" | tr -d '\r')
test -f "$work/cache/$key/app.dll" || { echo "no cache folder after the first start" >&2; exit 1; }
repeat=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/app.exe")" | tr -d '\r')
bare=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/bare_loader.exe") $(z "$work/cache/$key/app.dll")" | tr -d '\r')
echo "application: $files files, $bytes bytes; executable $(stat -c %s "$work/app.exe") bytes"
echo "first start:  $first"
echo "repeat start: $repeat"
echo "bare loader:  $bare"
echo "ratio repeat/bare (means): $(echo "scale=2; $(mean "$repeat") / $(mean "$bare")" | bc) (target: at most 2.5)"
echo "Launcher size: $(stat -c %s "$top/dist/bin/tarvex-launcher.exe") bytes"
