#!/usr/bin/env bash
# Throughput of "hvk32-cli export": a 60-second simulator capture (by default 600 rpm, single
# echo, 576,000 points a second) exported to each of the outputs named in $OUTPUTS (default
# "csv pcd": one CSV file, one PCD file per frame; also "ply", "las" and "kitti"). Prints each
# run's summary line, wall time, peak memory, output size and points per second.
#
#   bash bench/ExportBench.sh [build-dir] [scratch-dir] [rpm] [single|dual]
#   OUTPUTS="pcd las kitti" bash bench/ExportBench.sh build /dev/shm 1200 dual   # into a RAM disk
#
# The CSV of 60 seconds is about 2.6 GB and the PCD files about 0.6 GB (twice that in dual
# echo); each output is written in a new directory under scratch-dir (default $TMPDIR or /tmp)
# and removed before the next.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scratch="${2:-${TMPDIR:-/tmp}}"
rpm="${3:-600}"
echo_mode="${4:-single}"
outputs="${OUTPUTS:-csv pcd}"
seconds=60

work=$(mktemp -d "$scratch/hvk32-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds "$seconds" --rpm "$rpm" --echo "$echo_mode"
echo "capture: $seconds s of hvk32-sim at $rpm rpm, $echo_mode echo, $(stat -c %s "$work/capture.pcap") bytes"

# bench NAME OUTPUT-OPTION OUTPUT: one export, timed by GNU time when present, else by bash.
bench() {
  local name=$1 option=$2 out=$3
  local log="$work/$name.log" timing="$work/$name.time"
  local cmd=("$build/cli/hvk32-cli" export --pcap "$work/capture.pcap" "$option" "$out")
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%e %M' -o "$timing" "${cmd[@]}" 2> "$log"
  else
    local TIMEFORMAT='%R -'
    { time "${cmd[@]}" 2> "$log"; } 2> "$timing"
  fi
  local summary wall rss points
  summary=$(grep '^exported ' "$log")
  read -r wall rss < <(tail -n 1 "$timing")
  points=$(sed 's/^exported [0-9,]* frames\{0,1\}, \([0-9,]*\) point.*/\1/' <<< "$summary" | tr -d ,)
  echo "$name: $summary"
  echo "$name: wall $wall s, max rss ${rss} kB, output $(du -sb "$(dirname "$out")" | cut -f1) bytes"
  awk -v n="$name" -v p="$points" -v w="$wall" 'BEGIN { printf "%s: %.0f points per second\n", n, p / w }'
}

for output in $outputs; do
  mkdir "$work/$output"
  case $output in
    kitti) bench kitti --kitti "$work/kitti/frames" ;;
    *) bench "$output" "--$output" "$work/$output/capture.$output" ;;
  esac
  rm -rf "${work:?}/$output"
done
