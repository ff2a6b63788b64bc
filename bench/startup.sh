#!/usr/bin/env bash
# Start-up: a onefile executable with a tiny payload, start to exit, against a bare
# Windows program that loads the same module and calls run_code directly. Both are
# timed inside Wine by time_runs (process start to exit), in the same run.
# Usage: bench/startup.sh [RUNS]   (after scripts/build.sh)
# TARVEX_LAUNCHER names another Launcher to measure (default: the one built).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
runs=${1:-50}
win="$build/windows"
launcher="${TARVEX_LAUNCHER:-$top/dist/bin/tarvex-launcher.exe}"
. "$top/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tarvex_start_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app"
cp "$win/tests/e2e/test_module.dll" "$work/app/app.dll"
"$top/dist/bin/tarvex" pack "$work/app" --main app.dll --launcher "$launcher" -o "$work/app.exe" >/dev/null
cp "$win/bench/bare_loader.exe" "$work/"
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
onefile=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/app.exe")" | tr -d '\r')
bare=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/bare_loader.exe") $(z "$work/app/app.dll")" | tr -d '\r')
echo "onefile:     $onefile"
echo "bare loader: $bare"
o=$(echo "$onefile" | sed -E 's/.*mean ([0-9.]+) ms.*/\1/')
b=$(echo "$bare" | sed -E 's/.*mean ([0-9.]+) ms.*/\1/')
echo "ratio onefile/bare (means): $(echo "scale=2; $o / $b" | bc) (target: at most 2.2)"
echo "Launcher size: $(stat -c %s "$launcher") bytes"
