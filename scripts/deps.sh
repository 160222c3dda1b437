#!/bin/bash
# deps.sh [demo] - installs, from the distribution's packages, what the build,
# the tests and the packaging need and the machine does not have yet; with
# "demo", only what building the program and showing it (headless too) needs.
set -eu
demo=(
  g++ cmake ninja-build pkg-config
  libfltk1.3-dev zlib1g-dev libxml2-dev nlohmann-json3-dev libsystemd-dev
  xvfb xauth imagemagick
)
rest=(
  googletest libgtest-dev libbenchmark-dev
  xdotool xclip x11-utils
  clang libclang-rt-14-dev llvm valgrind
  dpkg-dev file lintian desktop-file-utils appstream groff-base python3
  # The journal tests' fixtures; installed in /lib/systemd/, not on PATH.
  systemd-journal-remote
)
case "${1:-all}" in
  demo) packages=("${demo[@]}") ;;
  all) packages=("${demo[@]}" "${rest[@]}") ;;
  *) echo "usage: $0 [demo]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
