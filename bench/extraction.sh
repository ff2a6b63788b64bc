#!/usr/bin/env bash
# Extraction, start to exit, in two cases, each against the same job done without Tarvex:
# - large files: the Windows DLLs that Debian's wine64 installs, against
#   `tar -I 'zstd --long=27' -xf` of the same files compressed the same way (zstd level
#   3, 2^27 window), then removing them;
# - many small files: 10,000 files of 0.3 to 2 KB, against `tar -x` + `rm` natively and
#   against bench/many_files, a minimal Windows program that writes the same files into
#   Wine's temporary folder and removes them with a plain delete loop.
# Usage: bench/extraction.sh [CORPUS_DIR]   (after scripts/build.sh)
# TARVEX_LAUNCHER names another Launcher to measure (default: the one built);
# TARVEX_COMPARE_LAUNCHER a second one measured in the same rounds (an earlier build);
# TARVEX_BENCH_FILES the number of small files, TARVEX_BENCH_ROUNDS the rounds (best of).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
corpus="${1:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
count="${TARVEX_BENCH_FILES:-10000}"
win="$build/windows"
launcher="${TARVEX_LAUNCHER:-$top/dist/bin/tarvex-launcher.exe}"
compare="${TARVEX_COMPARE_LAUNCHER:-}"
. "$top/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tarvex_extract_XXXXXX)
trap 'rm -rf "$work"' EXIT
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
pack() {  # pack APP_DIR NAME: NAME.exe, and NAME_compare.exe with the second Launcher
  "$top/dist/bin/tarvex" pack "$1" --main app.dll --level 3 --launcher "$launcher" -o "$work/$2.exe" >/dev/null
  if [ -n "$compare" ]; then
    "$top/dist/bin/tarvex" pack "$1" --main app.dll --level 3 --launcher "$compare" -o "$work/$2_compare.exe" >/dev/null
  fi
}
# Best wall-clock seconds of each named command over the rounds, the commands taking
# turns within each round, so that a burst of load on the machine meets all of them.
declare -A best
measure() {
  local round name s e t
  for name in "$@"; do best[$name]=""; done
  for round in $(seq "${TARVEX_BENCH_ROUNDS:-3}"); do
    for name in "$@"; do
      s=$(date +%s.%N); "$name" >/dev/null 2>&1; e=$(date +%s.%N)
      t=$(echo "$e - $s" | bc)
      if [ -z "${best[$name]}" ] || [ "$(echo "$t < ${best[$name]}" | bc)" = 1 ]; then best[$name]=$t; fi
    done
  done
}
ratio() { echo "scale=2; $1 / $2" | bc; }
compared() {  # the second Launcher's line, if one is measured: compared NAME BASELINE
  if [ -n "$compare" ]; then
    echo "  the same with $compare: ${best[$1]} s, ratio $(ratio "${best[$1]}" "$2")"
  fi
}

# Large files.
mkdir -p "$work/app"
cp -r "$corpus" "$work/app/files"
cp "$win/tests/e2e/test_module.dll" "$work/app/app.dll"
pack "$work/app" app
(cd "$work/app" && tar -cf - . | zstd -q -3 --long=27 -T0 -o "$work/app.tar.zst")
files=$(find "$work/app" -type f | wc -l)
mb=$(( $(du -sb "$work/app" | cut -f1) / 1000000 ))
rm -rf "$work/app"
native() { mkdir -p "$work/x" && tar -I 'zstd --long=27' -xf "$work/app.tar.zst" -C "$work/x" && rm -rf "$work/x"; }
onefile() { wine "$(z "$work/app.exe")"; }
onefile_compare() { wine "$(z "$work/app_compare.exe")"; }
cat "$work/app.tar.zst" "$work/app.exe" >/dev/null
measure native onefile ${compare:+onefile_compare}
n=${best[native]}
o=${best[onefile]}
echo "large files: $files files, $mb MB"
echo "  tar -I zstd -xf + rm: $n s"
echo "  onefile start to exit: $o s"
echo "  ratio onefile/native: $(ratio "$o" "$n") (target: at most 1.3)"
compared onefile_compare "$n"

# Many small files.
mkdir -p "$work/many"
wine "$win/bench/many_files.exe" make "$(z "$work/many/files")" "$count"
cp "$win/tests/e2e/test_module.dll" "$work/many/app.dll"
pack "$work/many" many
(cd "$work/many" && tar -cf - . | zstd -q -3 -T0 -o "$work/many.tar.zst")
kb=$(( $(du -sb "$work/many" | cut -f1) / 1000 ))
rm -rf "$work/many"
temp=$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
native_many() { mkdir -p "$work/x" && tar -I zstd -xf "$work/many.tar.zst" -C "$work/x" && rm -rf "$work/x"; }
minimal_many() { wine "$win/bench/many_files.exe" run "$temp\\tarvex_bench_many" "$count"; }
onefile_many() { wine "$(z "$work/many.exe")"; }
onefile_many_compare() { wine "$(z "$work/many_compare.exe")"; }
measure native_many minimal_many onefile_many ${compare:+onefile_many_compare}
n=${best[native_many]}
m=${best[minimal_many]}
o=${best[onefile_many]}
echo "many files: $count files and the module, $kb KB"
echo "  tar -I zstd -xf + rm: $n s"
echo "  minimal Windows program (write, then delete loop): $m s"
echo "  onefile start to exit: $o s"
echo "  ratio onefile/native: $(ratio "$o" "$n")"
echo "  ratio onefile/minimal program: $(ratio "$o" "$m") (target: at most 1.5)"
compared onefile_many_compare "$m"
