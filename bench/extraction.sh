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
# TARVEX_BENCH_FILES the number of small files.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
corpus="${1:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
count="${TARVEX_BENCH_FILES:-10000}"
win="$build/windows"
launcher="${TARVEX_LAUNCHER:-$top/dist/bin/tarvex-launcher.exe}"
export WINEPREFIX="${TARVEX_WINEPREFIX:-$top/.deps/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d /tmp/tarvex_extract_XXXXXX)
trap 'rm -rf "$work"' EXIT
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
pack() { "$top/dist/bin/tarvex" pack "$1" --main app.dll --level 3 --launcher "$launcher" -o "$2" >/dev/null; }
best() {  # best of three wall-clock seconds of a command
  local b=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
ratio() { echo "scale=2; $1 / $2" | bc; }

# Large files.
mkdir -p "$work/app"
cp -r "$corpus" "$work/app/files"
cp "$win/tests/e2e/test_module.dll" "$work/app/app.dll"
pack "$work/app" "$work/app.exe"
(cd "$work/app" && tar -cf - . | zstd -q -3 --long=27 -T0 -o "$work/app.tar.zst")
files=$(find "$work/app" -type f | wc -l)
mb=$(( $(du -sb "$work/app" | cut -f1) / 1000000 ))
rm -rf "$work/app"
native() { mkdir -p "$work/x" && tar -I 'zstd --long=27' -xf "$work/app.tar.zst" -C "$work/x" && rm -rf "$work/x"; }
onefile() { wine "$(z "$work/app.exe")"; }
cat "$work/app.tar.zst" "$work/app.exe" >/dev/null
n=$(best native)
o=$(best onefile)
echo "large files: $files files, $mb MB"
echo "  tar -I zstd -xf + rm: $n s"
echo "  onefile start to exit: $o s"
echo "  ratio onefile/native: $(ratio "$o" "$n") (target: at most 1.3)"

# Many small files.
mkdir -p "$work/many"
wine "$win/bench/many_files.exe" make "$(z "$work/many/files")" "$count"
cp "$win/tests/e2e/test_module.dll" "$work/many/app.dll"
pack "$work/many" "$work/many.exe"
(cd "$work/many" && tar -cf - . | zstd -q -3 -T0 -o "$work/many.tar.zst")
kb=$(( $(du -sb "$work/many" | cut -f1) / 1000 ))
rm -rf "$work/many"
temp=$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
native_many() { mkdir -p "$work/x" && tar -I zstd -xf "$work/many.tar.zst" -C "$work/x" && rm -rf "$work/x"; }
minimal_many() { wine "$win/bench/many_files.exe" run "$temp\\tarvex_bench_many" "$count"; }
onefile_many() { wine "$(z "$work/many.exe")"; }
n=$(best native_many)
m=$(best minimal_many)
o=$(best onefile_many)
echo "many files: $count files and the module, $kb KB"
echo "  tar -I zstd -xf + rm: $n s"
echo "  minimal Windows program (write, then delete loop): $m s"
echo "  onefile start to exit: $o s"
echo "  ratio onefile/native: $(ratio "$o" "$n")"
echo "  ratio onefile/minimal program: $(ratio "$o" "$m") (target: at most 1.5)"
