#!/usr/bin/env bash
# Extraction: the Windows DLLs that Debian's wine64 installs as the payload, start to
# exit, against the same job done natively: `tar -I 'zstd --long=27' -xf` of the same
# files compressed the same way (zstd level 3, 2^27 window), then removing them.
# Usage: bench/extraction.sh [CORPUS_DIR]   (after scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
corpus="${1:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
win="$build/windows"
export WINEPREFIX="${TARVEX_WINEPREFIX:-$top/.deps/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d /tmp/tarvex_extract_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app"
cp -r "$corpus" "$work/app/files"
cp "$win/tests/e2e/test_module.dll" "$work/app/app.dll"
"$top/dist/bin/tarvex" pack "$work/app" --main app.dll --level 3 -o "$work/app.exe" >/dev/null
(cd "$work/app" && tar -cf - . | zstd -q -3 --long=27 -T0 -o "$work/app.tar.zst")
files=$(find "$work/app" -type f | wc -l)
mb=$(( $(du -sb "$work/app" | cut -f1) / 1000000 ))
rm -rf "$work/app"

wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
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
native() { mkdir -p "$work/x" && tar -I 'zstd --long=27' -xf "$work/app.tar.zst" -C "$work/x" && rm -rf "$work/x"; }
onefile() { wine "$(z "$work/app.exe")"; }
cat "$work/app.tar.zst" "$work/app.exe" >/dev/null
n=$(best native)
o=$(best onefile)
echo "corpus: $files files, $mb MB"
echo "tar -I zstd -xf + rm: $n s"
echo "onefile start to exit: $o s"
echo "ratio onefile/native: $(echo "scale=2; $o / $n" | bc) (target: at most 1.3)"
