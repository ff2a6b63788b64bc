#!/usr/bin/env bash
# Start-up: a onefile executable with a tiny payload, start to exit, against a bare
# Windows program that loads the same module and calls run_code directly; and a onefile
# executable whose application is a program of its own (--main app.exe) against that
# program run bare. All are timed inside Wine by time_runs (process start to exit), in
# the same run.
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
mkdir -p "$work/prog"
cp "$win/tests/e2e/test_program.exe" "$work/prog/app.exe"
"$top/dist/bin/tarvex" pack "$work/prog" --main app.exe --launcher "$launcher" -o "$work/prog_onefile.exe" >/dev/null
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
onefile=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/app.exe")" | tr -d '\r')
bare=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/bare_loader.exe") $(z "$work/app/app.dll")" | tr -d '\r')
program_onefile=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/prog_onefile.exe")" | tr -d '\r')
program_bare=$(wine "$win/bench/time_runs.exe" "$runs" "$(z "$work/prog/app.exe")" | tr -d '\r')
echo "onefile (DLL):     $onefile"
echo "bare loader:       $bare"
echo "onefile (program): $program_onefile"
echo "bare program:      $program_bare"
mean() { echo "$1" | sed -E 's/.*mean ([0-9.]+) ms.*/\1/'; }
dll_ratio=$(echo "scale=2; $(mean "$onefile") / $(mean "$bare")" | bc)
program_ratio=$(echo "scale=2; $(mean "$program_onefile") / $(mean "$program_bare")" | bc)
echo "ratio onefile/bare (means), DLL: $dll_ratio (target: at most 2.2)"
echo "ratio onefile/bare (means), program: $program_ratio (target: no more than the DLL's)"
# The sweep of dead runs that every start makes, with nothing to sweep, against the
# onefile start above: in Wine's own temporary folder, and beside 1000 other files.
for files in 0 1000; do
  sweep=$(wine "$win/bench/sweep_time.exe" 200 "$files" | tr -d '\r')
  s=$(mean "$sweep")
  echo "$sweep; share of a onefile start: $(echo "scale=4; $s / $(mean "$onefile") * 100" | bc | sed 's/^\./0./')%"
done
echo "Launcher size: $(stat -c %s "$launcher") bytes"
