#!/usr/bin/env bash
# Recording at line rate: hvk32-sim sends 9,800 data packets a second (a 100 Mbit link full of
# scanner packets) on loopback for 60 s while "hvk32-cli record" records them from its own
# sockets; then the same stream again into the adapter recorder on lo (needs capture rights;
# skipped without them). Prints packets sent and recorded, and each recorder's CPU time.
#
#   bash bench/RecordBench.sh [build-dir] [seconds] [rate]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-60}"
rate="${3:-9800}"
work=$(mktemp -d "${TMPDIR:-/tmp}/hvk32-record-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
port() { python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
data=$(port)
telemetry=$(port)
tick=$(getconf CLK_TCK)

# cpu PID: user and system seconds the process has used so far.
cpu() { awk -v t="$tick" '{ printf "%.2f %.2f\n", $14 / t, $15 / t }' "/proc/$1/stat"; }

# send: runs the simulator for the whole stream; its summary line goes to $work/sim.log.
send() {
  "$build/sim/hvk32-sim" --data-port "$data" --telemetry-port "$telemetry" --packet-rate "$rate" \
    --seconds "$seconds" 2> "$work/sim.log"
  grep '^hvk32-sim: sent' "$work/sim.log"
}

# finish NAME PID: waits a moment for the last packets, reads the CPU, stops the recorder.
finish() {
  sleep 1
  read -r user sys < <(cpu "$2")
  kill -INT "$2"
  wait "$2" || true
  awk -v n="$1" -v u="$user" -v s="$sys" -v w="$seconds" \
    'BEGIN { printf "%s: cpu %.2f s user + %.2f s system = %.1f %% of one core over %d s\n", n, u, s, 100 * (u + s) / w, w }'
}

echo "stream: $rate data packets/s for $seconds s to 127.0.0.1:$data, device info to :$telemetry"

"$build/cli/hvk32-cli" record --out "$work/sockets.pcap" --data-port "$data" --telemetry-port "$telemetry" \
  > "$work/record.out" 2> "$work/record.err" &
recorder=$!
until grep -q 'recording UDP ports' "$work/record.err"; do sleep 0.1; done
send
finish "socket recorder (hvk32-cli record)" "$recorder"
cat "$work/record.out"
rm -f "$work/sockets.pcap"

if "$build/bench/hvk32-bench-adapter-record" --device lo --port "$data" --out "$work/adapter.pcap" --seconds 1 \
     > /dev/null 2>&1; then
  "$build/bench/hvk32-bench-adapter-record" --device lo --port "$data" --out "$work/adapter.pcap" \
    --seconds $((seconds + 30)) > "$work/adapter.out" 2> "$work/adapter.err" &
  adapter=$!
  until grep -q 'recording' "$work/adapter.err"; do sleep 0.1; done
  send
  finish "adapter recorder (lo, filter \"port $data\", data packets only)" "$adapter"
  cat "$work/adapter.out"
else
  echo "adapter recorder: skipped, no capture rights on lo here"
fi
