#!/usr/bin/env bash
# Installs what is missing, builds, and shows the substitute scanner's stream: hvk32-sim
# sends on loopback and the frames it produces are summarised, one line per revolution.
# Ctrl-C stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build

./build/sim/hvk32-sim "$@" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT INT TERM
./build/cli/hvk32-cli frames --live --summary
