#!/usr/bin/env bash
# The main job: set up, build everything into dist/, pack the example application
# with `tarvex pack` and run the onefile executable under Wine.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/build.sh"

dist="$top/dist"
app="$dist/examples/hello"
out="$dist/examples/hello.exe"
echo "== packing $app"
"$dist/bin/tarvex" pack "$app" --main hello.dll -o "$out"
"$dist/bin/tarvex" list "$out"
echo "== running $out under Wine"
export WINEPREFIX="${TARVEX_WINEPREFIX:-$top/.deps/wineprefix}"
set +e
"$top/scripts/wine-run" "$out" "Ada Lovelace" --verbose
code=$?
set -e
echo "== exit code $code"
exit $code
