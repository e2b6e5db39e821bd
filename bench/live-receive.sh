#!/usr/bin/env bash
# The live receiver's figures: a loopback sender at fixed rates into GetLidardataK32
# (hvk32-bench-live; the highest rates with the receiver kept on one core), then the viewer connected to hvk32-sim at 1200 rpm, dual echo, with
# its receiving thread's CPU read from /proc and its socket drops from /proc/net/udp.
#   bash bench/live-receive.sh BUILD_DIR [BASELINE_BUILD_DIR]
# Each case runs once per build; a baseline build is measured in the same run.
set -euo pipefail
builds=("$@")
[ ${#builds[@]} -ge 1 ] || { echo "usage: $0 BUILD_DIR [BASELINE_BUILD_DIR]" >&2; exit 2; }

thread_ticks() { # pid, thread name -> utime+stime of that thread in clock ticks
  for t in /proc/"$1"/task/*; do
    if [ "$(cat "$t/comm" 2>/dev/null)" = "$2" ]; then
      awk '{ sub(/.*\) /, ""); print $12 + $13 }' "$t/stat"; return; fi
  done
  echo 0
}
udp_drops() { # port -> drops of the socket bound to it
  awk -v p="$(printf ':%04X' "$1")" 'substr($2, length($2) - 4) == p { d += $NF } END { print d + 0 }' /proc/net/udp
}

viewer_case() { # build dir, seconds, busy processes
  local b=$1 secs=$2 busy=$3 data=$((20000 + RANDOM % 20000)) pids=()
  local tele=$((data + 1))
  "$b/sim/hvk32-sim" --rpm 1200 --echo dual --data-port $data --telemetry-port $tele --quiet &
  local sim=$!
  xvfb-run -a -s "-screen 0 1280x800x24" "$b/hvk32" --connect --data-port $data --telemetry-port $tele \
    --device-address 127.0.0.2 --stats --quit-after $((secs + 10)) > /tmp/hvk32-bench-viewer.$$ 2>/dev/null &
  local run=$!
  sleep 8
  local viewer; viewer=$(pgrep -x hvk32 -P $run)
  for _ in $(seq "$busy"); do (while :; do :; done) & pids+=($!); done
  local t0; t0=$(thread_ticks "$viewer" GetLidardataK32)
  sleep "$secs"
  local t1; t1=$(thread_ticks "$viewer" GetLidardataK32)
  local drops; drops=$(udp_drops $data)
  for p in "${pids[@]}"; do kill "$p"; done
  wait $run || true
  kill -INT $sim; wait $sim || true
  local hz; hz=$(getconf CLK_TCK)
  echo "viewer, sim 1200 rpm dual, $busy busy, ${secs} s: receiving thread $(awk -v a="$t0" -v b="$t1" -v s="$secs" -v h="$hz" 'BEGIN { printf "%.1f", 100 * (b - a) / h / s }') % of a core, socket drops $drops; $(cat /tmp/hvk32-bench-viewer.$$)"
  rm -f /tmp/hvk32-bench-viewer.$$
}

for b in "${builds[@]}"; do
  echo "== $b ($(git -C "$b/.." log -1 --format=%h 2>/dev/null || echo '?')), load $(cut -d' ' -f1-3 /proc/loadavg)"
  "$b/bench/hvk32-bench-live" --rate 9800 --seconds 60
  "$b/bench/hvk32-bench-live" --rate 9800 --seconds 60 --busy 2
  for rate in ${RATES:-12900 100000 150000}; do
    "$b/bench/hvk32-bench-live" --rate "$rate" --seconds 20 --pin
  done
  viewer_case "$b" 20 0
  viewer_case "$b" 20 2
done
