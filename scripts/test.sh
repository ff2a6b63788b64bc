#!/usr/bin/env bash
# Sets up, builds both sides and runs every test (host and Windows under Wine) with
# one ctest. One wineserver serves the whole run and is ended afterwards.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
"$top/scripts/build.sh"

. "$top/scripts/wine-env.sh"
wineserver -p 2>/dev/null || true  # already running is fine
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's own service processes start with the first program and live as long as the
# server; start them here with no streams, so that they hold none of ctest's pipes.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$build" --output-on-failure -j "${TARVEX_TEST_JOBS:-2}" "$@"
