#!/usr/bin/env bash
# The frame index on a capture of more than 1 GB written by hvk32-sim (300 s, dual echo):
# build rate beside a plain read of the file, seek time at positions across it beside
# forward play to 10 %, and index bytes per frame. The capture is deleted at the end.
#
#   bash bench/CaptureIndexBench.sh [build-dir] [scratch-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scratch="${2:-${TMPDIR:-/tmp}}"

work=$(mktemp -d "$scratch/hvk32-index-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds 300 --echo dual
echo "capture: $(stat -c %s "$work/capture.pcap") bytes"
cat "$work/capture.pcap" > /dev/null # warm the page cache
HVK32_BENCH_CAPTURE="$work/capture.pcap" "$build/bench/hvk32-bench-index"
