#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (ASan + UBSan) and runs each for a
# given time on its saved corpus; new interesting inputs are merged back into
# fuzz/corpus/<target>, crashes are kept in fuzz/crashes/<target> (commit both:
# the build replays them as regression tests).
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#        FUZZ_RUNS=N fuzz/run.sh ...   stops each target after N executions instead
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(payload pe)
out="$top/build-fuzz"
mkdir -p "$out"

common=("$top/diagnostics/report.cpp" "$top/diagnostics/line_writer.cpp" "$top/diagnostics/stream_text_posix.cpp"
        "$top/diagnostics/system_text_posix.cpp" "$top/support/wide_buffer.cpp"
        "$top/payload/reader.cpp" "$top/payload/entries.cpp" "$top/payload/cache_record.cpp")
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$top")

seed_payload() {  # a few well-formed payloads to start from
  local dir=$1 work
  work=$(mktemp -d)
  printf 'm\000.\000d\000l\000l\000\000\000\005\000\000\000\000\000\000\000hello\000\000' > "$work/s1"
  printf '\000\000' > "$work/s2"
  { printf 'a\000\134\000b\000\000\000\000\001\000\000\000\000\000\000'; head -c 256 /dev/zero; printf '\000\000'; } > "$work/s3"
  for s in s1 s2 s3; do
    for level in 1 19; do
      for check in --check --no-check; do
        frame=$(zstd -q -$level $check -c "$work/$s" | od -An -v -tx1 | tr -d ' \n')
        n=$(( 3 + ${#frame} / 2 ))
        { printf 'WQJ'; zstd -q -$level $check -c "$work/$s"; printf "$(printf '\\x%02x\\x%02x\\x00\\x00\\x00\\x00\\x00\\x00' $((n & 255)) $((n >> 8)))"; } > "$dir/seed_${s}_${level}${check}"
      done
    done
  done
  rm -rf "$work"
}

for target in "${targets[@]}"; do
  corpus="$top/fuzz/corpus/$target"
  crashes="$top/fuzz/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  case $target in
    payload) sources=("$top/fuzz/payload_fuzz.cpp" "${common[@]}"); libs=(-lzstd)
             [ -n "$(ls -A "$corpus")" ] || seed_payload "$corpus" ;;
    pe) sources=("$top/fuzz/pe_fuzz.cpp" "${common[@]}" "$top/pe/pe_image.cpp" "$top/pe/resource_reader.cpp"
                 "$top/tool/packer/payload_resource.cpp" "$top/tool/file_io.cpp" "$top/tool/failure.cpp"); libs=(-lzstd)
        if [ -z "$(ls -A "$corpus")" ]; then  # seeds: real packed executables, small ones
          for f in "$top"/build/windows/tests/tool/*.exe "$top"/build/example-hello/hello.exe; do
            [ -f "$f" ] && [ "$(stat -c %s "$f")" -lt 600000 ] && cp "$f" "$corpus/" || true
          done
        fi ;;
    *) echo "unknown target $target"; exit 2 ;;
  esac
  clang++ "${flags[@]}" "${sources[@]}" "${libs[@]}" -o "$out/${target}_fuzz"
  fresh="$out/${target}_new"
  rm -rf "$fresh"; mkdir -p "$fresh"
  echo "== $target: $seconds s"
  limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  max_len=65536
  [ "$target" = pe ] && max_len=600000  # whole small executables
  (cd "$out" && "./${target}_fuzz" "${limit[@]}" -timeout=20 -rss_limit_mb=4096 -max_len=$max_len \
      -artifact_prefix="$crashes/" -print_final_stats=1 "$fresh" "$corpus" 2>&1 | tail -n 12) || true
  "$out/${target}_fuzz" -merge=1 "$corpus" "$fresh" >/dev/null 2>&1 || true
  rm -rf "$fresh"
done
