#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest nlohmann-json3-dev libcli11-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth fonts-ipafont-gothic
  wine wine64 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev python3-pefile
  clang libclang-rt-14-dev
  qt6-translations-l10n xdotool x11-utils imagemagick zip unzip dpkg-dev strace
  lintian appstream desktop-file-utils
  ansible ansible-lint
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
