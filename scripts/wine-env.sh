# The Wine environment that the scripts and benchmarks run Windows programs in: the
# project's prefix (TARVEX_WINEPREFIX, or the one in .deps/), no debug output, and no
# offer to install Mono or Gecko. Sourced, with `top` set to the repository's folder.
export WINEPREFIX="${TARVEX_WINEPREFIX:-$top/.deps/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
