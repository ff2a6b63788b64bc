#!/usr/bin/env bash
# Time before the first file: from the start of a onefile executable until its
# extraction folder appears, for a payload of about 200 MB (the Windows DLLs that
# Debian's wine64 installs, packed at level 1) against a tiny one (the test module
# alone). time_to_folder starts them in turns inside Wine, in the same run.
# Usage: bench/first_file.sh [RUNS] [CORPUS_DIR]   (after scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
runs=${1:-10}
corpus="${2:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
win="$build/windows"
. "$top/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tarvex_first_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tiny" "$work/big" "$work/temp"
cp "$win/tests/e2e/test_module.dll" "$work/tiny/app.dll"
cp "$win/tests/e2e/test_module.dll" "$work/big/app.dll"
cp -r "$corpus" "$work/big/files"
"$top/dist/bin/tarvex" pack "$work/tiny" --main app.dll -o "$work/tiny.exe" >/dev/null
"$top/dist/bin/tarvex" pack "$work/big" --main app.dll --level 1 -o "$work/big.exe" >/dev/null
rm -rf "$work/tiny" "$work/big"
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
z() { echo "Z:${1//\//\\}"; }
cat "$work/big.exe" >/dev/null
out=$(wine "$win/bench/time_to_folder.exe" "$runs" "$(z "$work/temp")" "$(z "$work/tiny.exe")" "$(z "$work/big.exe")" |
      tr -d '\r')
echo "payloads: tiny $(stat -c %s "$work/tiny.exe") bytes, big $(stat -c %s "$work/big.exe") bytes"
echo "$out"
t=$(echo "$out" | sed -n 1p | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
b=$(echo "$out" | sed -n 2p | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
echo "big - tiny (medians): $(echo "$b - $t" | bc) ms; ratio big/tiny: $(echo "scale=2; $b / $t" | bc)"
