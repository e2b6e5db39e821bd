#!/usr/bin/env bash
# Side-by-side rounds of the slowest stages for two or more builds, taken in turn so that a
# shared machine's changing speed falls on every build alike. Each round runs, per build: the
# capture player on one core (median of 3, packets per CPU-second), then "hvk32-cli export"
# to MCAP (zstd) and to LAS, every field, into a RAM disk on every core.
#
#   bash bench/alternate.sh build ../baseline/build            # 4 rounds
#   ROUNDS=3 LOAD=2 bash bench/alternate.sh build ../baseline/build
#
# LOAD=N keeps N busy loops running through the rounds, as other programs on the machine
# would. The capture is 60 s of hvk32-sim at 1200 rpm, dual echo, written by the first build.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: bash bench/alternate.sh BUILD [BUILD...]" >&2; exit 2; }
rounds="${ROUNDS:-4}"
load="${LOAD:-0}"
scratch="${SCRATCH:-/dev/shm}"
pin=()
command -v taskset >/dev/null && pin=(taskset -c "${CPU:-1}")

work=$(mktemp -d "$scratch/hvk32-alternate-bench.XXXXXX")
busy=()
cleanup() {
  [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$1/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds 60 --rpm 1200 --echo dual

for _ in $(seq "$load"); do
  (while :; do :; done) &
  busy+=($!)
done

# export_rate BUILD OUTPUT: one export; prints wall seconds and points per second.
export_rate() {
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -f '%e' -o "$work/time" "$1/cli/hvk32-cli" export --pcap "$work/capture.pcap" \
    "--$2" "$work/out/capture.$2" > /dev/null 2> "$work/log"
  local points
  points=$(sed -n 's/^exported [0-9,]* frames\{0,1\}, \([0-9,]*\) point.*/\1/p' "$work/log" | tr -d ,)
  awk -v p="$points" -v w="$(tail -n 1 "$work/time")" 'BEGIN { printf "%5.2f s %6.1f M/s", w, p / w / 1e6 }'
}

for round in $(seq "$rounds"); do
  for build in "$@"; do
    player=$(HVK32_BENCH_CAPTURE="$work/capture.pcap" "${pin[@]}" "$build/bench/hvk32-bench-conversion" \
      --benchmark_filter='^Player/sixtySeconds' --benchmark_min_time=0.5 --benchmark_repetitions=3 \
      --benchmark_report_aggregates_only=true 2>/dev/null |
      sed -n 's/^Player\/sixtySeconds_median .*packets\/s=\([^ ]*\)\/s.*/\1/p')
    printf 'round %d %-28s player %8s packets/s  mcap %s  las %s\n' "$round" "$build" "$player" \
      "$(export_rate "$build" mcap)" "$(export_rate "$build" las)"
  done
done
