#!/bin/bash
# build.sh [DIR [CMAKE OPTIONS...]] - configures and builds into DIR (build/).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
