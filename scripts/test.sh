#!/usr/bin/env bash
# Builds the backend and runs every test: the Windows build's unit tests under Wine, then the
# unit, protocol and media tests. Pass ctest options to narrow the Linux part down, e.g.
# scripts/test.sh -LE media (no FFmpeg runs); BACKEND_SKIP_WINDOWS=1 leaves out the Windows part.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
[ "${BACKEND_SKIP_WINDOWS:-0}" = 1 ] || scripts/test-windows.sh
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600 "$@"
