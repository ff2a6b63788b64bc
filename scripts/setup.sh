#!/usr/bin/env bash
# Prepares a Debian machine for building and testing Tarvex: the Debian packages,
# the zstd source tree for the Windows-target library, and the Wine prefix.
# Idempotent: a second run on a prepared machine only checks and returns.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$top/.deps"
mkdir -p "$deps"

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 wine
  xvfb xauth
  libzstd-dev zstd
  googletest libgtest-dev libcli11-dev
  clang libclang-rt-14-dev
  zip xz-utils bc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's libzstd source package, fetched through a private source list so the
# machine's own apt configuration stays as it is. The mirror and suite come from
# the machine's configured deb line.
zstd_src="$deps/zstd"
if [ ! -f "$zstd_src/lib/zstd.h" ]; then
  work="$deps/apt-src"
  rm -rf "$work"; mkdir -p "$work/lists/partial" "$work/dl"
  mirror="" suite=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
    suite=$(awk '/^Suites:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    read -r mirror suite < <(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i, $(i + 1); exit}}' /etc/apt/sources.list)
  fi
  [ -n "$mirror" ] && [ -n "$suite" ] || { echo "setup: cannot find the Debian mirror in the apt configuration" >&2; exit 1; }
  echo "deb-src $mirror $suite main" > "$work/sources.list"
  aptopts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent -o Dir::State::Lists="$work/lists")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work/dl" && apt-get "${aptopts[@]}" source --download-only -qq libzstd)
  tarball=$(ls "$work/dl"/libzstd_*.orig.tar.* | head -n 1)
  rm -rf "$zstd_src.tmp"; mkdir -p "$zstd_src.tmp"
  tar -xf "$tarball" -C "$zstd_src.tmp" --strip-components=1
  rm -rf "$zstd_src"; mv "$zstd_src.tmp" "$zstd_src"
  rm -rf "$work"
  echo "setup: zstd source in $zstd_src"
fi

# The Wine prefix the build and the tests run in.
. "$top/scripts/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating the Wine prefix $WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "setup: the Wine prefix was not created" >&2; exit 1; }
