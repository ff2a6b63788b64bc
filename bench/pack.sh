#!/usr/bin/env bash
# `tarvex pack` of the whole DLL corpus against `tar -c | zstd -LEVEL --long=27 -T0` at the
# same level (payload size and wall-clock time) and against `zip -9 -r` (size), in the same
# run on the same folder. With TARVEX_BENCH_THREADS1=1 it also packs with --threads 1 and
# checks that the bytes are the same as with all cores.
# Usage: bench/pack.sh [CORPUS_DIR]   (after scripts/build.sh; TARVEX_BUILD_DIR picks the build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
corpus="${1:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
level="${TARVEX_BENCH_LEVEL:-19}"
tarvex="$build/tool/tarvex"
launcher="$build/windows/launcher/tarvex-launcher.exe"
work=$(mktemp -d /tmp/tarvex_pack_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT

# The application folder: the example module first, the corpus below corpus/ (hard links
# where the file system allows, copies otherwise).
app="$work/app"
mkdir -p "$app"
cp "$build/windows/examples/hello.dll" "$app/hello.dll"
cp -al "$corpus" "$app/corpus" 2>/dev/null || cp -a "$corpus" "$app/corpus"
files=$(find "$app" -type f | wc -l)
bytes=$(find "$app" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
cat $(find "$app" -type f) >/dev/null  # warm the page cache for both sides

seconds() {  # wall-clock seconds of a command
  local s e
  s=$(date +%s.%N); "$@"; e=$(date +%s.%N)
  echo "$e - $s" | bc
}
# tar ends with 1 when a file's status (its ctime, which another hard link to the same
# corpus file changes) moved while it was read; the archive is still complete.
tar_zstd() { { tar --warning=no-file-changed -C "$app" -cf - . || [ $? -eq 1 ]; } | zstd -q "-$level" --long=27 -T0 -o "$work/app.tar.zst"; }
zip_9() { (cd "$app" && zip -q -9 -r "$work/app.zip" .); }
pack() { "$tarvex" pack "$app" --main hello.dll -o "$1" --launcher "$launcher" --level "$level" "${@:2}" >/dev/null; }

pack_s=$(seconds pack "$work/packed.exe")
tar_s=$(seconds tar_zstd)
zip_9
payload=$("$tarvex" list "$work/packed.exe" | tail -n 1 | awk '{print $2}')
tar_zst=$(stat -c %s "$work/app.tar.zst")
zip_size=$(stat -c %s "$work/app.zip")

mb() { echo "scale=1; $1 / 1000000" | bc; }
echo "corpus: $files files, $(mb "$bytes") MB; level $level, $(nproc) cores"
echo "tarvex pack payload:        $(mb "$payload") MB in ${pack_s} s"
echo "tar | zstd --long=27 -T0:   $(mb "$tar_zst") MB in ${tar_s} s"
echo "zip -9 -r:                  $(mb "$zip_size") MB"
echo "size ratio payload/tar.zst: $(echo "scale=4; $payload / $tar_zst" | bc) (target: at most 1.02)"
echo "time ratio pack/tar.zst:    $(echo "scale=3; $pack_s / $tar_s" | bc) (target: at most 1.2)"
echo "size ratio payload/zip:     $(echo "scale=3; $payload / $zip_size" | bc)"

if [ "${TARVEX_BENCH_THREADS1:-0}" = 1 ]; then
  one_s=$(seconds pack "$work/one.exe" --threads 1)
  if cmp -s "$work/packed.exe" "$work/one.exe"; then same=yes; else same=NO; fi
  echo "--threads 1: ${one_s} s, same bytes as with $(nproc) threads: $same"
fi
