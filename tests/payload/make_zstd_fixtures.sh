#!/bin/sh
# Frames made by the zstd command-line tool, for the reader tests: frames this
# project did not write. Usage: make_zstd_fixtures.sh OUTDIR
set -eu
out=$1
mkdir -p "$out"
cd "$out"
# Entry stream: "a" holding "hello", "d\big" holding 200000 bytes, end marker.
{
  printf 'a\000\000\000\005\000\000\000\000\000\000\000hello'
  printf 'd\000\134\000b\000i\000g\000\000\000\100\015\003\000\000\000\000\000'
  yes 'tarvex fixture line' | head -c 200000
  printf '\000\000'
} > stream.bin
zstd -q -f --check -c stream.bin > checksum_and_size.zst
cp checksum_and_size.zst bad_checksum.zst
# The last byte of the frame is part of the content checksum.
size=$(wc -c < bad_checksum.zst)
printf '\377' | dd of=bad_checksum.zst bs=1 seek=$((size - 1)) conv=notrunc 2>/dev/null
cat stream.bin | zstd -q --long=28 -c > window_2_28.zst
{
  printf '\120\052\115\030\004\000\000\000skip'
  cat checksum_and_size.zst
} > skippable_first.zst
