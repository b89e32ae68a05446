#!/usr/bin/env bash
# Builds the backend and runs every test: the Windows build's unit tests under Wine, then the
# unit, protocol and media tests, the Node client's tests and the schema check of every event
# line the protocol tests read. Pass ctest options to narrow the Linux part down, e.g.
# scripts/test.sh -LE media (no FFmpeg runs); BACKEND_SKIP_WINDOWS=1 leaves out the Windows part.
set -euo pipefail
cd "$(dirname "$0")/.."
# Node and the client's packages first: the build's configuration looks for Node.
command -v node >/dev/null && command -v npm >/dev/null || scripts/install-packages.sh nodejs npm
(cd client && npm ci --prefer-offline --no-audit --no-fund --loglevel=error)
scripts/setup.sh
[ "${BACKEND_SKIP_WINDOWS:-0}" = 1 ] || scripts/test-windows.sh
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600 "$@"
