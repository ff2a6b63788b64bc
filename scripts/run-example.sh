#!/usr/bin/env bash
# The main job: set up, build everything into dist/, build the example application as a
# project of its own against the installed Tarvex package (which packs it into one
# executable), list what it holds and run it under Wine.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
"$top/scripts/build.sh"

dist="$top/dist"
example="$build/example-hello"
echo "== building examples/hello against $dist"
cmake -S "$top/examples/hello" -B "$example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$dist/lib/cmake/Tarvex/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$example"
out="$example/hello.exe"
"$dist/bin/tarvex" list "$out"
echo "== running $out under Wine"
. "$top/scripts/wine-env.sh"
set +e
"$top/scripts/wine-run" "$out" "Ada Lovelace" --verbose
code=$?
set -e
echo "== exit code $code"
exit $code
