#!/usr/bin/env bash
# The Python module's throughput on one core: every frame of a 60 s capture at 1200 rpm, dual
# echo, read into NumPy arrays by iterating hvk32.open(), beside "hvk32-cli export --kitti" of
# the same capture (player and conversion, four floats per point written to a RAM disk) as the
# baseline of the same run. Prints points per second of wall time and of CPU time.
#
#   bash bench/python-frames.sh [build-dir] [scratch-dir]   (scratch default /dev/shm)
#
# CPU=N pins both runs to core N with taskset (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scratch="${2:-/dev/shm}"
pin=()
command -v taskset >/dev/null && pin=(taskset -c "${CPU:-1}")

work=$(mktemp -d "$scratch/hvk32-python-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/sim/hvk32-sim" --quiet --pcap "$work/capture.pcap" --seconds 60 --rpm 1200 --echo dual \
  --start-time 2026-03-05T10:00:00
echo "capture: 60 s of hvk32-sim at 1200 rpm, dual echo, $(stat -c %s "$work/capture.pcap") bytes"

"${pin[@]}" /usr/bin/time -f '%e %U %S' -o "$work/time" "$build/cli/hvk32-cli" export --pcap "$work/capture.pcap" \
  --kitti "$work/kitti" 2> "$work/log" >/dev/null
points=$(sed -n 's/^exported [0-9,]* frames\{0,1\}, \([0-9,]*\) point.*/\1/p' "$work/log" | tr -d ,)
read -r wall user sys < "$work/time"
awk -v p="$points" -v w="$wall" -v u="$user" -v s="$sys" \
  'BEGIN { c = u + s; printf "  %-34s %10d points  wall %6.2f s %7.1f M/s  cpu %6.2f s %7.1f M/s\n", "hvk32-cli export --kitti", p, w, p / w / 1e6, c, p / c / 1e6 }'
rm -rf "$work/kitti"

PYTHONPATH="$build/python" "${pin[@]}" /usr/bin/python3 - "$work/capture.pcap" <<'PY'
import sys, time
import hvk32

wall, cpu = time.perf_counter(), time.process_time()
capture = hvk32.open(sys.argv[1])
points = frames = 0
for frame in capture:
    points += len(frame.xyz)
    frames += 1
wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
print(f"  {'hvk32.open() + iteration':<34} {points:10d} points  wall {wall:6.2f} s {points / wall / 1e6:7.1f} M/s"
      f"  cpu {cpu:6.2f} s {points / cpu / 1e6:7.1f} M/s   ({frames} frames, index included)")
PY
