#!/usr/bin/env bash
# Builds the backend (scripts/setup.sh), then measures it on media made in a scratch folder and
# prints one table: the cuts of a short and of a long last take against their bare final
# encodes, with the children each cut runs; the MP4 master of 5 and of 50 clips against one bare
# encode of their joined span, with its children and memory; the "xml" and "fcpxml" exports'
# wall time and child processes; the backend's start, command and memory figures; and how the
# exports grow with 4x the clips. --long adds the 4x recording and the 4x master (about five
# minutes more); --rounds N sets the rounds of the cuts and the 5-clip master; --keep keeps the
# scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if ! command -v python3 >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: python3" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq python3 >/dev/null
fi
exec python3 bench/bench.py --backend build/tavelmor-backend "$@"
