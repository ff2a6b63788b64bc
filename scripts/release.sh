#!/usr/bin/env bash
# Builds everything and makes the two release archives with CPack in release/:
# tarvex-<version>-linux-x86_64.tar.gz and tarvex-<version>-windows-x86_64.zip.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
"$top/scripts/build.sh"
out="$top/release"
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls -l "$out"/tarvex-*
