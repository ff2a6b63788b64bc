#!/usr/bin/env bash
# Payload reader throughput against `zstd -d` of the same frame, in the same run.
# Corpus: the Windows DLLs that Debian's wine64 installs (about 670 MB).
# Usage: bench/reader_throughput.sh [CORPUS_DIR]   (after scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TARVEX_BUILD_DIR:-$top/build}"
corpus="${1:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
work=$(mktemp -d /tmp/tarvex_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/reader_bench" stream "$corpus" "$work/stream" >/dev/null
zstd -q -6 --long=27 -T0 "$work/stream" -o "$work/frame.zst"
stream_mb=$(( $(stat -c %s "$work/stream") / 1000000 ))
frame_mb=$(( $(stat -c %s "$work/frame.zst") / 1000000 ))
rm -f "$work/stream"

best() {  # best of three wall-clock seconds of a command
  local b=""
  for _ in 1 2 3; do
    local s e
    s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
    local t; t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
cat "$work/frame.zst" >/dev/null  # warm the page cache
zstd_s=$(best zstd -q -d --long=27 -c "$work/frame.zst" -o /dev/null)
reader_s=$(best "$build/bench/reader_bench" read "$work/frame.zst")
ratio=$(echo "scale=3; $reader_s / $zstd_s" | bc)
echo "entry stream ${stream_mb} MB, frame ${frame_mb} MB"
echo "zstd -d:      ${zstd_s} s"
echo "read_payload: ${reader_s} s"
echo "ratio reader/zstd: ${ratio} (target: at most 1.25)"
