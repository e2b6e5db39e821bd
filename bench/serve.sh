#!/usr/bin/env bash
# The Foxglove server at the full stream (1200 rpm, dual echo): fast clients' share of frames,
# latency, server CPU and memory with a slow client; see bench/serve.py.
#   bash bench/serve.sh BUILD_DIR   (FAST_SECONDS 30, SLOW_SECONDS 60, FAST_CLIENTS 3 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/serve.py "${1:-build}"
