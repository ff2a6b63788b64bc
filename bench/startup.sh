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
# Each onefile start is timed in turn with its bare counterpart (and the DLL's with a
# program that only starts the bare loader and waits: the floor of any design of two
# processes), and the ratios are those of the medians: a start under Wine here varies
# by two to three times from run to run.
turns() { wine "$win/bench/time_runs.exe" "$runs" --turns "$@" | tr -d '\r'; }
bare_line="$(z "$work/bare_loader.exe") $(z "$work/app/app.dll")"
dll=$(turns "$bare_line" "$(z "$work/app.exe")" "$(z "$win/bench/relay.exe") $bare_line")
program=$(turns "$(z "$work/prog/app.exe")" "$(z "$work/prog_onefile.exe")")
side() { echo "$1" | sed -n "s/^$2: //p"; }
ratio() { echo "$1" | sed -nE "s/^ratio of medians $2\/0: ([0-9.]+)$/\1/p"; }
median() { echo "$1" | sed -nE "s/^$2: .*median ([0-9.]+) ms.*/\1/p"; }
echo "onefile (DLL):     $(side "$dll" 1)"
echo "bare loader:       $(side "$dll" 0)"
echo "two processes:     $(side "$dll" 2)"
echo "onefile (program): $(side "$program" 1)"
echo "bare program:      $(side "$program" 0)"
onefile_median=$(median "$dll" 1)
echo "ratio onefile/bare (medians), DLL: $(ratio "$dll" 1) (target: at most 2.2)"
echo "ratio two processes/bare (medians): $(ratio "$dll" 2) (the floor of the ratio above)"
echo "ratio onefile/two processes (medians): $(echo "scale=2; $onefile_median / $(median "$dll" 2)" | bc)"
echo "ratio onefile/bare (medians), program: $(ratio "$program" 1) (target: no more than the DLL's)"
# The sweep of dead runs that every start makes, with nothing to sweep, against the
# onefile start above: in Wine's own temporary folder, and beside 1000 other files.
for files in 0 1000; do
  sweep=$(wine "$win/bench/sweep_time.exe" 200 "$files" | tr -d '\r')
  s=$(echo "$sweep" | sed -E 's/.*mean ([0-9.]+) ms.*/\1/')
  echo "$sweep; share of a onefile start: $(echo "scale=4; $s / $onefile_median * 100" | bc | sed 's/^\./0./')%"
done
echo "Launcher size: $(stat -c %s "$launcher") bytes"
