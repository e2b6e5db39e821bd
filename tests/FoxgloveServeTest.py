"""hvk32-cli serve watched from outside: Foxglove's own WebSocket client (@foxglove/ws-protocol,
in tests/readers) receives a capture's frames, whose PointCloud2 messages Foxglove's CDR reader
decodes and which must hold the points of `export --csv` of the same capture; then one case per
misbehaving client, driven over raw sockets, after which the server still serves.
    FoxgloveServeTest.py CLI SIM READERS CASE"""
import atexit
import json
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np

from csv_reference import close
from csv_reference import csv_frames as read_csv_frames
from ws_client import SUBPROTOCOL, WsClient


class Server:
    """hvk32-cli serve on a free loopback port, stopped with SIGTERM at the end."""

    def __init__(self, cli, *args):
        self.process = subprocess.Popen([cli, "serve", "--port", "0", *args], stderr=subprocess.PIPE, text=True)
        atexit.register(self.kill)  # a failed check leaves no server behind
        self.lines = []
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            line = self.process.stderr.readline()
            if not line:
                break
            self.lines.append(line)
            found = re.search(r"serving ws://127\.0\.0\.1:(\d+)", line)
            if found:
                self.port = int(found.group(1))
                return
        self.process.kill()
        sys.exit(f"the server did not start: {''.join(self.lines)}")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stop(self):
        """SIGTERM; the exit status and the rest of stderr."""
        self.process.send_signal(signal.SIGTERM)
        try:
            rest = self.process.communicate(timeout=20)[1]
        except subprocess.TimeoutExpired:
            self.process.kill()
            sys.exit("the server did not stop within 20 s of SIGTERM")
        return self.process.returncode, "".join(self.lines) + rest

    def summary(self, stderr):
        found = re.search(r"serve: ([\d,]+) clients? \(([\d,]+) refused\), ([\d,]+) messages and ([\d,]+) bytes sent, "
                          r"([\d,]+) frames published, ([\d,]+) frames dropped for slow clients", stderr)
        if not found:
            sys.exit(f"no summary: {stderr}")
        return [int(g.replace(",", "")) for g in found.groups()]


class Client(WsClient):
    """The raw client, with the Foxglove messages a case waits for."""

    def next_text(self):
        """The next JSON text message, skipping binary ones."""
        while True:
            opcode, payload = self.frame()
            if opcode == 1:
                return json.loads(payload)
            if opcode == 8:
                raise ConnectionError(f"closed: {payload}")

    def next_data(self):
        """(subscription id, time, payload) of the next messageData, skipping text."""
        while True:
            opcode, payload = self.frame()
            if opcode == 2:
                if payload[0] != 1:
                    sys.exit(f"binary opcode {payload[0]}, not messageData")
                sub, stamp = struct.unpack_from("<IQ", payload, 1)
                return sub, stamp, payload[13:]
            if opcode == 8:
                raise ConnectionError(f"closed: {payload}")

    def close_frame(self):
        """(code, reason) of the close frame the server sends, skipping what comes before."""
        while True:
            opcode, payload = self.frame()
            if opcode == 8:
                return struct.unpack(">H", payload[:2])[0], payload[2:].decode()

    def handshake_messages(self):
        info, advertise = self.next_text(), self.next_text()
        if info["op"] != "serverInfo" or advertise["op"] != "advertise":
            sys.exit(f"the server opened with {info} and {advertise}")
        return info, {c["topic"]: c for c in advertise["channels"]}


def expect(condition, what):
    if not condition:
        sys.exit(what)


def capture(sim, work, seconds="0.35"):
    path = os.path.join(work, "capture.pcap")
    subprocess.run([sim, "--pcap", path, "--seconds", seconds, "--rpm", "1200", "--quiet"], check=True)
    return path


def csv_frames(cli, pcap, work):
    """The CSV export of `pcap`, read per frame."""
    out = os.path.join(work, "frames.csv")
    subprocess.run([cli, "export", "--pcap", pcap, "--csv", out], check=True, stderr=subprocess.DEVNULL)
    return read_csv_frames(out)


def foxglove_client(cli, sim, readers, work):
    """Every frame of a looped capture reaches Foxglove's client and decodes to the CSV's points;
    device info and the server's info and channels as Foxglove reads them."""
    pcap = capture(sim, work)
    expected = csv_frames(cli, pcap, work)
    server = Server(cli, "--pcap", pcap, "--loop", "--speed", "2")
    out = subprocess.run(["node", os.path.join(readers, "foxglove-client.mjs"), f"ws://127.0.0.1:{server.port}",
                          str(len(expected)), "60"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    rc, stderr = server.stop()
    expect(out.returncode == 0, f"Foxglove's client failed: {out.stderr}")
    got = json.loads(out.stdout)
    expect(got["serverInfo"]["name"] == "hvk32" and got["serverInfo"]["sessionId"], f"serverInfo {got['serverInfo']}")
    channels = {c["topic"]: c for c in got["channels"]}
    expect({k: (c["encoding"], c["schemaName"], c["schemaEncoding"]) for k, c in channels.items()} == {
        "/hvk32/points": ("cdr", "sensor_msgs/msg/PointCloud2", "ros2msg"),
        "/hvk32/device_info": ("json", "hvk32/DeviceInfo", "jsonschema"),
        "/hvk32/health": ("json", "hvk32/Health", "jsonschema")}, f"channels {channels}")
    for c in ("/hvk32/device_info", "/hvk32/health"):
        expect(json.loads(channels[c]["schema"])["type"] == "object", f"{c}: schema {channels[c]['schema']}")
    expect(got["deviceInfos"] and len(got["deviceInfos"][0]["value"]["verticalAngles"]) == 32,
           f"device infos {got['deviceInfos'][:1]}")
    # A looped capture: the distinct stamps, in order, are the capture's frames.
    by_stamp = {}
    for f in got["frames"]:
        expect(int(f["timestamp"]) == f["stamp"][0] * 10**9 + f["stamp"][1], f"time {f['timestamp']}, stamp {f['stamp']}")
        expect(f["frameId"] == "hvk32" and f["height"] == 1 and
               f["fields"] == ["x", "y", "z", "intensity", "ring", "time"], f"frame {f['stamp']}: {f['fields']}")
        by_stamp[tuple(f["stamp"])] = f
    expect(len(by_stamp) == len(expected), f"{len(by_stamp)} distinct frames, the CSV has {len(expected)}")
    for k, stamp in enumerate(sorted(by_stamp)):
        cloud = np.array(by_stamp[stamp]["points"]).reshape(-1, 6)
        close(cloud[:, 0:4], expected[k][:, 0:4], f"frame {k + 1}: x y z intensity", 1e-6)
        close(cloud[:, 4], expected[k][:, 4], f"frame {k + 1}: ring", 0)
    expect(rc == 0, f"serve ended with {rc}: {stderr}")
    clients, refused, messages, sent, published, dropped = server.summary(stderr)
    expect(clients == 1 and refused == 0 and messages >= len(expected) and published >= len(expected),
           f"summary: {stderr}")


def handshakes(cli, sim, work):
    """A plain HTTP request and a wrong or missing subprotocol are refused; the newer name is taken."""
    server = Server(cli, "--pcap", capture(sim, work), "--loop")
    with socket.create_connection(("127.0.0.1", server.port), timeout=10) as plain:
        plain.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        answer = plain.recv(4096).decode(errors="replace")
        expect(answer.startswith("HTTP/1.1 426"), f"plain HTTP request answered {answer!r}")
    for protocols in (("chat",), ()):
        refused = Client(server.port, protocols)
        expect(refused.status == 400, f"subprotocols {protocols}: {refused.response!r}")
    for name in (SUBPROTOCOL, "foxglove.sdk.v1"):
        accepted = Client(server.port, ("chat", name))
        expect(accepted.status == 101 and accepted.protocol() == name, f"{name}: {accepted.response!r}")
        info, channels = accepted.handshake_messages()
        accepted.json({"op": "subscribe", "subscriptions": [{"id": 7, "channelId": channels["/hvk32/points"]["id"]}]})
        expect(accepted.next_data()[0] == 7, "no frame for subscription 7")
    rc, stderr = server.stop()
    expect(rc == 0, f"serve ended with {rc}: {stderr}")


def requests(cli, sim, work):
    """Requests the server cannot follow get an error status and change nothing; the client is
    served on. A late subscriber gets the last device-info message at once."""
    server = Server(cli, "--pcap", capture(sim, work), "--loop")
    c = Client(server.port)
    info, channels = c.handshake_messages()
    points, device = channels["/hvk32/points"]["id"], channels["/hvk32/device_info"]["id"]
    bad = [("not JSON", "{op: subscribe"),
           ("not an object", "[1, 2]"),
           ("unknown op", {"op": "advertise", "channels": []}),
           ("no subscriptions", {"op": "subscribe"}),
           ("unknown channel", {"op": "subscribe", "subscriptions": [{"id": 1, "channelId": 99}]}),
           ("unknown subscription", {"op": "unsubscribe", "subscriptionIds": [5]}),
           ("binary", b"\x01\x00\x00\x00\x00")]
    for what, message in bad:
        if isinstance(message, bytes):
            c.send(message, opcode=2)
        else:
            c.send(message if isinstance(message, str) else json.dumps(message))
        status = c.next_text()
        expect(status["op"] == "status" and status["level"] == 2 and status["message"], f"{what}: {status}")
    # Frames are flowing by now, so a device-info message has been published before.
    time.sleep(0.5)
    c.json({"op": "subscribe", "subscriptions": [{"id": 1, "channelId": points}, {"id": 2, "channelId": device}]})
    sub, stamp, payload = c.next_data()
    expect(sub == 2 and len(json.loads(payload)["verticalAngles"]) == 32, f"first message after subscribing: {sub}")
    c.json({"op": "subscribe", "subscriptions": [{"id": 1, "channelId": device}]})
    status = c.next_text()
    expect(status["op"] == "status" and "already in use" in status["message"], f"duplicate id: {status}")
    c.json({"op": "unsubscribe", "subscriptionIds": [1, 2]})
    c.json({"op": "subscribe", "subscriptions": [{"id": 3, "channelId": points}]})
    # Messages of subscriptions 1 and 2 sent before the unsubscribe may still arrive.
    while (sub := c.next_data()[0]) != 3:
        expect(sub in (1, 2), f"message of subscription {sub}")
    rc, stderr = server.stop()
    expect(rc == 0, f"serve ended with {rc}: {stderr}")


def max_clients(cli, sim, work):
    """A client beyond --max-clients is closed with a reason; a place that frees up is taken."""
    server = Server(cli, "--pcap", capture(sim, work), "--loop", "--max-clients", "2")
    first, second = Client(server.port), Client(server.port)
    first.handshake_messages()
    second.handshake_messages()
    third = Client(server.port)
    expect(third.status == 101, f"third client: {third.response!r}")
    code, reason = third.close_frame()
    expect(code == 1013 and "at most 2" in reason, f"third client closed with {code} {reason!r}")
    first.sock.close()
    time.sleep(0.5)
    fourth = Client(server.port)
    fourth.handshake_messages()
    rc, stderr = server.stop()
    expect(rc == 0, f"serve ended with {rc}: {stderr}")
    clients, refused = server.summary(stderr)[:2]
    expect(clients == 3 and refused == 1, f"summary: {stderr}")


def slow_client(cli, sim, work):
    """A client that stops reading loses frames, counted in the health message and the summary,
    while a client that reads gets every frame published meanwhile."""
    server = Server(cli, "--pcap", capture(sim, work, "1.0"), "--loop")
    slow, fast = Client(server.port, receive_buffer=65536), Client(server.port)
    for c in (slow, fast):
        c.handshake_messages()
        c.json({"op": "subscribe", "subscriptions": [{"id": 1, "channelId": 1}, {"id": 2, "channelId": 3}]})
    stamps, health = [], None
    deadline = time.monotonic() + 6
    while time.monotonic() < deadline or health is None or health["framesDroppedForSlowClients"] == 0:
        expect(time.monotonic() < deadline + 20, f"no drop reported, last health {health}")
        sub, stamp, payload = fast.next_data()
        if sub == 1:
            stamps.append(stamp)
        else:
            health = json.loads(payload)
    # 20 frames a second: consecutive frames 50 ms of capture time apart, or back at the start
    # when the loop begins a new pass.
    steps = np.diff(np.array(stamps, dtype=np.int64))
    expect(len(stamps) > 60 and np.all((np.abs(steps - 50_000_000) < 5_000_000) | (steps < 0)),
           f"the fast client missed frames: {len(stamps)} frames, steps {sorted(set(steps.tolist()))[:5]}")
    expect(health["framesSent"] > 0 and health["clients"] == 2 and
           {"packetsReceived", "lostPackets", "duplicatePackets", "outOfOrderPackets", "receiveDrops",
            "frameRate"} <= health.keys(), f"health {health}")
    rc, stderr = server.stop()
    expect(rc == 0, f"serve ended with {rc}: {stderr}")
    dropped = server.summary(stderr)[5]
    expect(dropped >= health["framesDroppedForSlowClients"] > 0, f"summary: {stderr}")


def stop(cli, sim, work):
    """SIGTERM closes every connection with going-away and ends with the summary."""
    server = Server(cli, "--pcap", capture(sim, work), "--loop")
    clients = [Client(server.port) for _ in range(3)]
    for c in clients:
        c.handshake_messages()
        c.json({"op": "subscribe", "subscriptions": [{"id": 1, "channelId": 1}]})
        c.next_data()
    rc, stderr = server.stop()
    for c in clients:
        code, reason = c.close_frame()
        expect(code == 1001, f"closed with {code} {reason!r}")
    clients_count, refused, messages, sent = server.summary(stderr)[:4]
    expect(rc == 0 and clients_count == 3 and messages >= 3 and sent > 0, f"serve ended with {rc}: {stderr}")


def main():
    cli, sim, readers, case = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as work:
        if case == "client":
            foxglove_client(cli, sim, readers, work)
        else:
            {"handshakes": handshakes, "requests": requests, "max-clients": max_clients, "slow-client": slow_client,
             "stop": stop}[case](cli, sim, work)
    print(f"{case}: passed")


if __name__ == "__main__":
    main()
