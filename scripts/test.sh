#!/bin/bash
# test.sh - installs what is missing, builds, and runs the whole test suite;
# tests that need a display run under Xvfb.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
# Without debug information, which costs more to compile than the code does.
"$root/scripts/build.sh" "$root/build" --preset=ci
cd "$root/build"
# -noreset: otherwise the server resets whenever its last client leaves, and
# a test that connects during the reset finds no display.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$(nproc)"

# The libraries that need no toolkit and veklog-explain, configured without it: anything in them
# that reaches for the toolkit fails to build here. Their tests ran above, on the same code; here
# only the program's own runs, as a machine without the toolkit has it.
"$root/scripts/build.sh" "$root/build-core" --preset=core --target=veklog-explain
(cd "$root/build-core" && ctest --output-on-failure -j "$(nproc)" -R '^(e2e_|check_kb_)')

# The same suite again with address and undefined-behaviour sanitizers, but
# for the install checks, which build and install a tree without them, and
# the heavy cases, which ran above.
"$root/scripts/sanitize.sh" "$root/build-asan" -E '^install\.' -LE heavy

