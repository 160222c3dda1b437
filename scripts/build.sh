#!/bin/bash
# build.sh [DIR [CMAKE OPTIONS...]] - configures and builds into DIR (build/);
# the options may name one of CMakePresets.json's builds (--preset=core).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
# A directory configured before keeps its generator (the README's install
# steps use CMake's default one); a new one gets Ninja.
generator=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && generator=()
cmake -S "$root" -B "$dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
