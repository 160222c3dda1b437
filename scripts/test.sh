#!/bin/bash
# test.sh - installs what is missing, builds, and runs the whole test suite;
# tests that need a display run under Xvfb.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build"
cd "$root/build"
# -noreset: otherwise the server resets whenever its last client leaves, and
# a test that connects during the reset finds no display.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$(nproc)"

# The libraries that need no toolkit and veklog-explain, configured without it: anything in them
# that reaches for the toolkit fails to build here.
"$root/scripts/build.sh" "$root/build-core" -DVEKLOG_GUI=OFF
(cd "$root/build-core" && ctest --output-on-failure -j "$(nproc)")

# The same suite again with address and undefined-behaviour sanitizers.
"$root/scripts/sanitize.sh" "$root/build-asan"
