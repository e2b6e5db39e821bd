#!/usr/bin/env bash
# Decoding, conversion and export throughput on one core, beside a baseline build when one is
# given. Writes a 60 s capture at 1200 rpm, dual echo, with the simulator, then for each build:
# runs hvk32-bench-conversion (player, assembler and conversion, from memory) and times
# "hvk32-cli export" into a RAM disk with --pcd and --ply, all fields and x,y,z,intensity only
# (a baseline without --fields writes x,y,z,intensity). Prints points per second, export
# time included, per second of wall time and per second of CPU time (user + system: what one
# core does when the machine is shared).
#
#   bash bench/conversion.sh [build-dir] [baseline-build-dir] [scratch-dir]   (scratch default /dev/shm)
#
# CPU=N pins every run to core N with taskset (default 1); EXPORT_CPU=all lets the exports use
# every core (they write behind on a thread of their own) while the in-memory figures stay on
# core N. The in-memory figures are the
# medians of REPS runs (default 7) of half a second each, which a passing load on a shared
# machine moves less than a single run.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
baseline="${2:-}"
scratch="${3:-/dev/shm}"
cpu="${CPU:-1}"
reps="${REPS:-7}"
pin=()
command -v taskset >/dev/null && pin=(taskset -c "$cpu")
export_pin=("${pin[@]}")
[ "${EXPORT_CPU:-}" = all ] && export_pin=()

work=$(mktemp -d "$scratch/hvk32-conversion-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds 60 --rpm 1200 --echo dual
echo "capture: 60 s of hvk32-sim at 1200 rpm, dual echo, $(stat -c %s "$work/capture.pcap") bytes"

# export BUILD NAME ARGS...: one export into a fresh folder; prints its points per second.
export_run() {
  local dir=$1 name=$2
  shift 2
  rm -rf "$work/out" && mkdir "$work/out"
  local summary points
  "${export_pin[@]}" /usr/bin/time -f '%e %U %S' -o "$work/time" "$dir/cli/hvk32-cli" export --pcap "$work/capture.pcap" "$@" \
    2> "$work/log" >/dev/null
  summary=$(grep '^exported ' "$work/log")
  points=$(sed 's/^exported [0-9,]* frames\{0,1\}, \([0-9,]*\) point.*/\1/' <<< "$summary" | tr -d ,)
  read -r wall user sys < "$work/time"
  awk -v n="$name" -v p="$points" -v w="$wall" -v u="$user" -v s="$sys" -v b="$(du -sb "$work/out" | cut -f1)" \
    'BEGIN { printf "  %-22s %10d points %6.0f MB  wall %6.2f s %7.1f M/s  cpu %6.2f s %7.1f M/s\n", n, p, b / 1e6, w, p / w / 1e6, u + s, p / (u + s) / 1e6 }'
}

for dir in "$build" $baseline; do
  echo "== $dir"
  HVK32_BENCH_CAPTURE="$work/capture.pcap" "${pin[@]}" "$dir/bench/hvk32-bench-conversion" \
    --benchmark_min_time=0.5 --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true 2>/dev/null \
    | grep -E '^(Player|Assembler|Convert|Window)[^ ]*_median ' || true
  # The usage may go to either stream; a build without --fields writes x,y,z,intensity.
  usage=$("$dir/cli/hvk32-cli" export --help 2>&1 || true)
  if grep -q -- '--fields' <<< "$usage"; then
    export_run "$dir" "pcd x,y,z,intensity" --pcd "$work/out/s.pcd" --fields x,y,z,intensity
    export_run "$dir" "ply x,y,z,intensity" --ply "$work/out/s.ply" --fields x,y,z,intensity
    export_run "$dir" "pcd every field" --pcd "$work/out/s.pcd"
    export_run "$dir" "ply every field" --ply "$work/out/s.ply"
  else
    export_run "$dir" "pcd x,y,z,intensity" --pcd "$work/out/s.pcd"
    export_run "$dir" "ply x,y,z,intensity" --ply "$work/out/s.ply"
  fi
done
