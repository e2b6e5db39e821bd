#!/usr/bin/env python3
"""The Foxglove server's figures at the full stream: hvk32-sim at 1200 rpm, dual echo, 0.33-degree
layout (20 frames a second) into "hvk32-cli serve --live", with three fast WebSocket clients on
loopback, then a fourth client that reads one message a second (socket receive buffer 64 KB).

Per phase: the frames each fast client received of those the server published (from the
server's framesSent in /hvk32/health), the latency from the server having the frame to a client
having the whole message (client's clock at the last byte minus the messageData time, which the
server takes when the receiver hands it the complete frame, before encoding), the server's CPU
(utime + stime from /proc over the phase, in cores) and its resident memory (VmRSS) at the start
and at most during the phase. The run does not fail when a target is missed; it reports.

    bash bench/serve.sh BUILD_DIR
    FAST_SECONDS=10 SLOW_SECONDS=20 bash bench/serve.sh build     # a quick run
    FAST_CLIENTS=8 bash bench/serve.sh build                      # more fast clients (default 3)
"""
import json
import os
import random
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

# The raw WebSocket client the server's test drives it with.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from ws_client import WsClient  # noqa: E402
TICKS = os.sysconf("SC_CLK_TCK")


class Client(WsClient):
    """The tests' raw client, reading each frame into one reused buffer."""

    def __init__(self, port, receive_buffer=None):
        super().__init__(port, receive_buffer=receive_buffer)
        if self.status != 101:
            raise ConnectionError(self.response)
        self.buffer = bytearray(8 << 20)

    def frame(self):
        """(opcode, memoryview of the payload), valid until the next call."""
        return self.frame_view()

    def subscribe(self, topics):
        """Reads serverInfo and advertise, subscribes to `topics`; {subscription id: topic}."""
        channels = {}
        while len(channels) == 0:
            opcode, payload = self.frame()
            if opcode == 1:
                message = json.loads(bytes(payload))
                if message.get("op") == "advertise":
                    channels = {c["topic"]: c["id"] for c in message["channels"]}
        subscriptions = [{"id": i + 1, "channelId": channels[t]} for i, t in enumerate(topics)]
        self.json({"op": "subscribe", "subscriptions": subscriptions})
        return {i + 1: t for i, t in enumerate(topics)}


def points_of(cdr):
    """height * width of a CDR sensor_msgs/msg/PointCloud2: after the encapsulation header,
    the stamp, the frame ID string (aligned to 4 bytes), then height and width."""
    at = 4 + 8
    at += 4 + struct.unpack_from("<I", cdr, at)[0]
    at = 4 + (at - 4 + 3) // 4 * 4
    height, width = struct.unpack_from("<II", cdr, at)
    return height * width


def run_client(mode, port, seconds, out):
    """A client process: "fast" reads everything and records (messageData time, arrival) of each
    frame and the health messages; "slow" reads one message a second."""
    if mode == "slow":
        client = Client(port, receive_buffer=65536)
        client.subscribe(["/hvk32/points"])
        end = time.monotonic() + seconds
        read = 0
        while time.monotonic() < end:
            opcode, _ = client.frame()
            read += opcode == 2
            time.sleep(1)
        json.dump({"read": read}, open(out, "w"))
        return
    client = Client(port)
    subscriptions = client.subscribe(["/hvk32/points", "/hvk32/health"])
    frames, health = [], []
    end = time.monotonic() + seconds
    client.sock.settimeout(2)
    while time.monotonic() < end:
        try:
            opcode, payload = client.frame()
        except socket.timeout:
            continue
        arrival = time.time_ns()
        if opcode == 8:
            break
        if opcode != 2 or payload[0] != 1:
            continue
        sub, stamp = struct.unpack_from("<IQ", payload, 1)
        if subscriptions.get(sub) == "/hvk32/points":
            frames.append((stamp, arrival, len(payload), points_of(payload[13:])))
        elif subscriptions.get(sub) == "/hvk32/health":
            health.append((stamp, json.loads(bytes(payload[13:]))))
    json.dump({"frames": frames, "health": health}, open(out, "w"))


def proc_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def phase_figures(client, start_ns, end_ns):
    """(received, published, latencies in ms) of one fast client over [start_ns, end_ns], the
    published count taken between the first and last health message inside the window."""
    health = [(t, h) for t, h in client["health"] if start_ns <= t <= end_ns]
    if len(health) < 2:
        return 0, 0, []
    (t0, h0), (t1, h1) = health[0], health[-1]
    published = h1["framesSent"] - h0["framesSent"]
    inside = [f for f in client["frames"] if t0 < f[0] <= t1]
    latencies = [(arrival - stamp) / 1e6 for stamp, arrival, _, _ in inside]
    return len(inside), published, latencies


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    fast_seconds = float(os.environ.get("FAST_SECONDS", os.environ.get("DURATION", 30)))
    slow_seconds = float(os.environ.get("SLOW_SECONDS", 60))
    fast_clients = int(os.environ.get("FAST_CLIENTS", 3))
    data = 20000 + random.randrange(20000)
    telemetry, ws = data + 1, data + 2
    work = tempfile.mkdtemp(prefix="hvk32-serve-bench.")
    processes = []

    def cleanup(*_):
        for p in reversed(processes):
            if p.poll() is None:
                p.send_signal(signal.SIGINT)
        for p in reversed(processes):
            try:
                p.wait(timeout=8)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        sim = subprocess.Popen([f"{build}/sim/hvk32-sim", "--rpm", "1200", "--echo", "dual", "--layout", "0.33",
                                "--data-port", str(data), "--telemetry-port", str(telemetry), "--quiet"])
        processes.append(sim)
        server_log = open(f"{work}/serve.log", "w+")
        server = subprocess.Popen([f"{build}/cli/hvk32-cli", "serve", "--live", "--data-port", str(data),
                                   "--telemetry-port", str(telemetry), "--port", str(ws)],
                                  stderr=server_log)
        processes.append(server)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            server_log.seek(0)
            if "receiving data packets" in server_log.read():
                break
            time.sleep(0.2)
        time.sleep(1)

        me = os.path.abspath(__file__)
        client_seconds = fast_seconds + slow_seconds + 4
        fast = [subprocess.Popen([sys.executable, me, "--client", "fast", str(ws), str(client_seconds),
                                  f"{work}/fast{i}.json"]) for i in range(fast_clients)]
        processes += fast
        time.sleep(2)  # the clients connected and subscribed

        phases = []
        def measure(name, seconds, slow=None):
            start_ns, ticks0, t0 = time.time_ns(), proc_ticks(server.pid), time.monotonic()
            rss_start = rss_max = rss_mb(server.pid)
            while time.monotonic() - t0 < seconds:
                time.sleep(0.25)
                rss_max = max(rss_max, rss_mb(server.pid))
            cores = (proc_ticks(server.pid) - ticks0) / TICKS / (time.monotonic() - t0)
            phases.append(dict(name=name, start=start_ns, end=time.time_ns(), cores=cores,
                               rss_start=rss_start, rss_max=rss_max, slow=slow))

        measure(f"{fast_clients} fast clients, {fast_seconds:g} s", fast_seconds)
        slow = subprocess.Popen([sys.executable, me, "--client", "slow", str(ws), str(slow_seconds),
                                 f"{work}/slow.json"])
        processes.append(slow)
        measure(f"+1 slow client, {slow_seconds:g} s", slow_seconds, slow)
        for p in fast + [slow]:
            try:
                p.wait(timeout=client_seconds + 30)
            except subprocess.TimeoutExpired:
                p.kill()
        server.send_signal(signal.SIGINT)
        server.wait(timeout=15)
        server_log.seek(0)
        log = server_log.read()

        # A client that failed left no figures: it counts as having received nothing.
        clients = [json.load(open(f"{work}/fast{i}.json")) if os.path.exists(f"{work}/fast{i}.json")
                   else {"frames": [], "health": []} for i in range(fast_clients)]
        print(f"hvk32-sim 1200 rpm, dual echo, 0.33-degree layout -> hvk32-cli serve --live, {fast_clients} fast "
              f"clients on loopback; load {open('/proc/loadavg').read().split()[:3]}, {os.cpu_count()} cores")
        sizes = [(size, points) for c in clients for _, _, size, points in c["frames"]]
        if sizes:
            print(f"messages: {sum(s for s, _ in sizes) / len(sizes) / 1e6:.2f} MB and "
                  f"{sum(p for _, p in sizes) / len(sizes):,.0f} points on average")
        print("latency: client's clock when it has read the whole message minus the messageData time, "
              "which the server takes when the receiver hands it the complete frame (before encoding; "
              "the PointCloud2 stamp is the same instant)")
        header = f"{'phase':<26} {'fast received %':>22} {'lat p50/p95/max ms':>21} {'CPU cores':>9} " \
                 f"{'RSS start/max MB':>17} {'slow-client drops':>17}"
        print(header)
        drops_before = 0
        for ph in phases:
            percents, latencies = [], []
            for c in clients:
                received, published, lat = phase_figures(c, ph["start"], ph["end"])
                percents.append(100 * received / published if published else 0.0)
                latencies += lat
            healths = [h for c in clients[:1] for t, h in c["health"] if ph["start"] <= t <= ph["end"]]
            drops = healths[-1]["framesDroppedForSlowClients"] if healths else 0
            print(f"{ph['name']:<26} {' '.join(f'{p:6.1f}' for p in percents):>22} "
                  f"{percentile(latencies, 50):6.1f}/{percentile(latencies, 95):5.1f}/{max(latencies or [0]):6.1f} "
                  f"{ph['cores']:9.2f} {ph['rss_start']:8.1f}/{ph['rss_max']:<8.1f} {drops - drops_before:>17}")
            ph.update(percents=percents, p95=percentile(latencies, 95))
            drops_before = drops
        slow_read = json.load(open(f"{work}/slow.json"))["read"] if os.path.exists(f"{work}/slow.json") else 0
        print(f"slow client read {slow_read} messages")
        growth = phases[1]["rss_max"] - phases[1]["rss_start"]
        checks = [
            ("each fast client >= 99 % of frames", all(min(ph["percents"]) >= 99 for ph in phases)),
            ("latency p95 <= 50 ms", all(ph["p95"] <= 50 for ph in phases)),
            ("server CPU <= 1 core", all(ph["cores"] <= 1 for ph in phases)),
            (f"RSS growth with the slow client <= 50 MB ({growth:.1f} MB)", growth <= 50),
        ]
        for what, ok in checks:
            print(f"target: {what}: {'met' if ok else 'MISSED'}")
        summary = [line for line in log.splitlines() if "clients (" in line or "received" in line]
        for line in summary:
            print(line)
    finally:
        cleanup()
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "--client":
        run_client(sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), sys.argv[5])
    else:
        main()
