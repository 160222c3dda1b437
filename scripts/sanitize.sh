#!/bin/bash
# sanitize.sh [DIR [CTEST OPTIONS...]] - builds the whole project with clang's
# address and undefined-behaviour sanitizers (no recovery) into DIR
# (build-asan/) and runs the test suite in that build under Xvfb.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-asan}
shift || true
mkdir -p "$dir"

# A directory configured before keeps its generator; a new one gets Ninja.
generator=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && generator=()
cmake -S "$root" -B "$dir" "${generator[@]}" --preset=sanitize >/dev/null
cmake --build "$dir" -j "$(nproc)"

# The only leaks allowed are fontconfig's: the toolkit keeps every font it
# opens for the life of the process, and fontconfig keeps its configuration.
# fontconfig has no frame pointers, so its stacks end in it and name nothing
# of ours; nothing broader is suppressed, so leaks reached through the
# toolkit's event loop are still reported.
cat > "$dir/lsan.supp" <<'SUPP'
leak:libfontconfig.so
SUPP

export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$dir/lsan.supp:print_suppressions=0
cd "$dir"
# -noreset: otherwise the server resets whenever its last client leaves, and
# a test that connects during the reset finds no display.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$(nproc)" "$@"
