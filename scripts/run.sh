#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer fed by the substitute scanner:
# hvk32-sim sends on loopback, the viewer connects to it at start-up. Closing the viewer
# stops the simulator. Options are passed on to hvk32-sim (see hvk32-sim --help);
# HVK32_VIEWER_OPTIONS=--engineering shows the advanced tools.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build

./build/sim/hvk32-sim --quiet "$@" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT INT TERM
# The simulator is the device at 127.0.0.2: packets with a fixed destination go there too.
./build/hvk32 --connect --device-address 127.0.0.2 ${HVK32_VIEWER_OPTIONS:-}
