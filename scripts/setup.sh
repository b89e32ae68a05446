#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, test and run the backend, then configures
# and builds it in build/. Safe to run again: it installs and rebuilds only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(cmake g++ ninja-build ffmpeg nlohmann-json3-dev libgtest-dev libxml2-utils)
missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBACKEND_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$(nproc)"
