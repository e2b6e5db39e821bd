#!/usr/bin/env bash
# The window under load: the simulator at 1200 rpm, dual echo (20 frames a second of
# 115,000 points) feeds the viewer under Xvfb for 60 seconds. Prints the frames drawn per
# second, the frames skipped, and the viewer's resident memory after 5 and after 58 seconds.
# The motor speed and echo mode may be given too (600 single: the device's default).
#
#   bash bench/window-soak.sh [build-dir] [rpm] [single|dual]     (SOAK_SECONDS=N for another length)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rpm="${2:-1200}"
echo_mode="${3:-dual}"
seconds="${SOAK_SECONDS:-60}"
data=$(python3 -c 'import socket;s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM);s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
telemetry=$((data + 1))

"$build/sim/hvk32-sim" --quiet --rpm "$rpm" --echo "$echo_mode" --data-port "$data" --telemetry-port "$telemetry" --seconds $((seconds + 10)) &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT

out=$(mktemp)
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
  "$0" --connect --quit-after "$1" --stats --data-port "$2" --telemetry-port "$3" > "$4" &
  viewer=$!
  rss() { awk "/VmRSS/ {print \$2}" /proc/$viewer/status; }
  sleep 5;  echo "rss_5s_kb $(rss)" >> "$4.mem"
  sleep $(( $1 - 7 )); echo "rss_$(( $1 - 2 ))s_kb $(rss)" >> "$4.mem"
  wait $viewer
' "$build/hvk32" "$seconds" "$data" "$telemetry" "$out"

echo "rpm $rpm, $echo_mode echo, $seconds s"
cat "$out.mem"
stats=$(cat "$out")
echo "$stats"
drawn=$(echo "$stats" | sed -n 's/.*drawn \([0-9]*\).*/\1/p')
echo "frames drawn per second: $(awk -v d="$drawn" -v s="$seconds" 'BEGIN {printf "%.1f", d / s}')"
rm -f "$out" "$out.mem"
