#!/bin/bash
# build.sh [DIR [CMAKE OPTIONS...]] - configures and builds into DIR (build/);
# the options may name one of CMakePresets.json's builds (--preset=core), and
# --target=NAME builds only NAME and what it needs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
options=()
targets=()
for a in "$@"; do
  case $a in
    --target=*) targets+=(--target "${a#--target=}") ;;
    *) options+=("$a") ;;
  esac
done
# A directory configured before keeps its generator (the README's install
# steps use CMake's default one); a new one gets Ninja.
generator=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && generator=()
cmake -S "$root" -B "$dir" "${generator[@]}" "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
