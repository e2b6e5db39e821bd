#!/usr/bin/env bash
# Throughput of "hvk32-cli export": a 60-second simulator capture (600 rpm, single echo,
# 576,000 points a second) exported to one CSV file and to one PCD file per frame. Prints
# each run's summary line, wall time, peak memory, output size and points per second.
#
#   bash bench/ExportBench.sh [build-dir] [scratch-dir]
#
# The CSV of 60 seconds is about 2.6 GB and the PCD files about 0.6 GB; they are written in a
# new directory under scratch-dir (default $TMPDIR or /tmp) and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scratch="${2:-${TMPDIR:-/tmp}}"
seconds=60

work=$(mktemp -d "$scratch/hvk32-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds "$seconds"
echo "capture: $seconds s of hvk32-sim, $(stat -c %s "$work/capture.pcap") bytes"

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

mkdir "$work/csv" "$work/pcd"
bench csv --csv "$work/csv/capture.csv"
rm -rf "$work/csv"
bench pcd --pcd "$work/pcd/capture.pcd"
