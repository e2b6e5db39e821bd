#!/usr/bin/env bash
# Speed of "hvk32-cli render" at 1280x720 on one core: a 600 rpm capture of the simulator's
# hall (and a drive through its town for --map) drawn and encoded into an H.264 MP4, each run
# pinned to core 0. For every view it prints pictures per second of CPU time (what one core
# gives, least disturbed by a shared machine) and of wall time as the command reports it, once
# with the machine as it is and once with a busy loop on each core beside it (what a user
# meets while other programs run). The baseline, measured in the same run on the same core:
# the LAS export of the same capture, which decodes and converts every point of every frame
# and writes it, but draws and encodes nothing. The target is three times the device's rate
# (600 rpm: 10 frames a second, so 30 pictures a second). Exit status 1 only when a run fails.
#
#   bash bench/render.sh [build-dir] [seconds]
#
# seconds: the length of the capture (default 30, 300 frames).
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd) || exit 2
seconds="${2:-30}"
sim="$build/sim/hvk32-sim"
cli="$build/cli/hvk32-cli"
for program in "$sim" "$cli"; do
  [ -x "$program" ] || { echo "missing $program (build hvk32-sim and hvk32-cli)" >&2; exit 2; }
done
work=$(mktemp -d /tmp/hvk32-render-bench.XXXXXX)
busy=()
cleanup() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY

"$sim" --pcap "$work/hall.pcap" --seconds "$seconds" --rpm 600 --quiet || exit 1
"$sim" --pcap "$work/town.pcap" --scene town --drive loop --seconds "$seconds" --rpm 600 --quiet || exit 1
frames=$("$cli" info --pcap "$work/hall.pcap" --summary | sed -n 's/.*"frames":\([0-9]*\).*/\1/p')

# timed NAME PICTURES COMMAND...: one run on core 0; prints pictures per CPU second and per wall second.
timed() {
  local name=$1 pictures=$2
  shift 2
  /usr/bin/time -o "$work/time" -f "%U %S %e" taskset -c 0 "$@" >/dev/null 2>"$work/log" \
    || { echo "$name failed:" >&2; cat "$work/log" >&2; return 1; }
  [ -n "$pictures" ] || pictures=$(sed -n 's/^render: [0-9,]* frames*, \([0-9,]*\) picture.*/\1/p' "$work/log" | tr -d ,)
  read -r user system wall <"$work/time"
  awk -v n="$name" -v p="$pictures" -v u="$user" -v s="$system" -v w="$wall" \
    'BEGIN { printf "%-44s %8d %12.1f %12.1f\n", n, p, p / (u + s), p / w }'
}

run_all() {
  local load=$1
  timed "baseline: export --las ($load)" "$frames" "$cli" export --pcap "$work/hall.pcap" --las "$work/hall.las" || return 1
  for view in top perspective orbit; do
    timed "render --view $view ($load)" "" "$cli" render --pcap "$work/hall.pcap" --out "$work/$view.mp4" \
      --view "$view" || return 1
  done
  timed "render --map, town drive ($load)" "" "$cli" render --pcap "$work/town.pcap" --out "$work/map.mp4" --map \
    || return 1
}

echo "1280x720, 600 rpm, $seconds s capture; one core (taskset -c 0)"
printf "%-44s %8s %12s %12s\n" "run" "pictures" "per CPU s" "per wall s"
status=0
run_all "idle" || status=1
for core in $(seq 0 $(($(nproc) - 1))); do
  taskset -c "$core" sh -c 'while :; do :; done' &
  busy+=($!)
done
run_all "both cores busy" || status=1
echo "target: 30 pictures a second on one core (three times the device's 10 frames a second)"
exit $status
