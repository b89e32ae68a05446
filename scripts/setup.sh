#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, test and run the backend, then configures
# and builds it in build/. Safe to run again: it installs and rebuilds only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh cmake g++ ninja-build ffmpeg nlohmann-json3-dev libgtest-dev libxml2-utils

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBACKEND_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$(nproc)"
