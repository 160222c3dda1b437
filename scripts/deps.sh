#!/bin/bash
# deps.sh - installs, from the distribution's packages, whatever the build,
# the tests and the demo need and the machine does not have yet.
set -eu
packages=(
  g++ cmake ninja-build pkg-config
  libfltk1.3-dev zlib1g-dev libxml2-dev nlohmann-json3-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick
  clang libclang-rt-14-dev llvm valgrind
  dpkg-dev file lintian desktop-file-utils appstream groff-base python3
)
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
