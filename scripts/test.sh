#!/usr/bin/env bash
# Builds the backend and runs every test: unit tests, protocol tests and media tests.
# Pass ctest options to narrow it down, e.g. scripts/test.sh -LE media (no FFmpeg runs).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600 "$@"
