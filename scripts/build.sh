#!/usr/bin/env bash
# Configures and builds both sides (host and Windows) into build/ and installs the
# result into dist/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
"$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$top/dist" >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake --install "$build" >/dev/null
