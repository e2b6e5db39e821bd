#!/usr/bin/python3
"""MCAP recordings of "hvk32-cli record" of hvk32-sim's live stream on loopback, read by the
MCAP project's readers (npm, pinned in tests/readers): a recording ended by --seconds and
one ended by SIGTERM are whole and indexed, with the three channels and their schemas; the
points of a replayed capture equal the CSV export of that capture; a recording killed with
SIGKILL reads with the streaming reader up to its last whole chunk; one that runs into the
file size limit (a full disk) ends with an error and a whole, indexed file.

    RecordMcapReadElsewhere.py HVK32-CLI HVK32-SIM READERS-DIR
"""
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time

import numpy as np

from csv_reference import close, csv_frames

CLI, SIM, READERS = sys.argv[1:4]


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


DATA, TELEMETRY = free_port(), free_port()
PORTS = ["--data-port", str(DATA), "--telemetry-port", str(TELEMETRY)]


def run(*args):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({done.returncode}): {done.stderr}")
    return done


def read(path, stream=False):
    args = ["node", os.path.join(READERS, "read-recorded-mcap.mjs")] + (["--stream"] if stream else []) + [path]
    out = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if out.returncode != 0:
        sys.exit(f"the MCAP reader could not read {os.path.basename(path)}: {out.stderr}")
    return json.loads(out.stdout)


def simulator(*extra):
    return subprocess.Popen([SIM, *PORTS, "--quiet", *extra])


def recording(out, *extra, **popen):
    """Starts a recording and waits until it receives."""
    proc = subprocess.Popen([CLI, "record", "--out", out, *PORTS, *extra], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, **popen)
    line = proc.stderr.readline()
    if "recording UDP ports" not in line:
        proc.kill()
        sys.exit(f"record did not start: {line}{proc.stderr.read()}")
    return proc


def finished(proc, expected_rc=0):
    out, err = proc.communicate(timeout=60)
    if proc.returncode != expected_rc:
        sys.exit(f"record ended with {proc.returncode}, not {expected_rc}: {err}")
    return out, err


def check_whole(name, got, seconds=None, health_required=True):
    """A whole recording: indexed summary, the three channels with their schemas, counts that
    agree, frames as the export writes them, device infos and a health message a second."""
    channels = {c["topic"]: c for c in got["channels"]}
    expected = {"/hvk32/points": ("cdr", "sensor_msgs/msg/PointCloud2", "ros2msg"),
                "/hvk32/device_info": ("json", "hvk32/DeviceInfo", "jsonschema"),
                "/hvk32/health": ("json", "hvk32/Health", "jsonschema")}
    found = {t: (c["messageEncoding"], c["schema"], c["schemaEncoding"]) for t, c in channels.items()}
    if found != expected:
        sys.exit(f"{name}: channels {found}")
    for topic in ("/hvk32/device_info", "/hvk32/health"):
        if json.loads(channels[topic]["schemaText"]).get("type") != "object":
            sys.exit(f"{name}: the schema of {topic} is no JSON Schema of an object")
    if "MSG: sensor_msgs/PointField" not in channels["/hvk32/points"]["schemaText"]:
        sys.exit(f"{name}: the PointCloud2 schema lacks its dependencies")
    summary = got["summary"]
    counts = {"/hvk32/points": len(got["frames"]), "/hvk32/device_info": len(got["deviceInfos"]),
              "/hvk32/health": len(got["health"])}
    if summary["profile"] != "ros2" or summary["compressions"] != ["zstd"] or \
            summary["channelMessageCounts"] != counts or summary["chunkCount"] != summary["chunkIndexes"] or \
            summary["chunkCount"] < 1:
        sys.exit(f"{name}: summary {summary}, read {counts}")
    if not got["frames"] or not got["deviceInfos"] or (health_required and not got["health"]):
        sys.exit(f"{name}: read {counts}")
    times = [int(f["logTime"]) for f in got["frames"]]
    if times != sorted(times) or len(set(times)) != len(times):
        sys.exit(f"{name}: frame log times {times}")
    for f in got["frames"]:
        if f["stamp"] != [int(f["logTime"]) // 10**9, int(f["logTime"]) % 10**9] or f["frameId"] != "hvk32" or \
                f["publishTime"] != f["logTime"] or f["height"] != 1 or f["width"] != len(f["points"]) or \
                [field[0] for field in f["fields"]] != ["x", "y", "z", "intensity", "ring", "time"]:
            sys.exit(f"{name}: frame {dict((k, v) for k, v in f.items() if k != 'points')}")
    if any(len(d["value"]["verticalAngles"]) != 32 for d in got["deviceInfos"]):
        sys.exit(f"{name}: device infos {got['deviceInfos'][:1]}")
    health = [h["value"] for h in got["health"]]
    health_times = [int(h["logTime"]) for h in got["health"]]
    keys = ["packetsReceived", "lostPackets", "duplicatePackets", "outOfOrderPackets", "receiveDrops",
            "framesWritten", "frameRate"]
    if not health:
        return
    if any(sorted(h) != sorted(keys) for h in health):
        sys.exit(f"{name}: health {health[:1]}")
    # Once a second: never two within half a second, and the counts only grow.
    if any(b - a < 5 * 10**8 for a, b in zip(health_times, health_times[1:])) or \
            (seconds and len(health) > seconds + 1):
        sys.exit(f"{name}: health log times {health_times}")
    for key in keys[:-1]:
        if [h[key] for h in health] != sorted(h[key] for h in health):
            sys.exit(f"{name}: health {key} {[h[key] for h in health]}")
    if health[-1]["framesWritten"] > len(got["frames"]) or health[-1]["packetsReceived"] == 0:
        sys.exit(f"{name}: the last health message {health[-1]}, {len(got['frames'])} frames in the file")


# The live receiver places channel c at A + c * step / 32 of its block's azimuth A, the capture
# player at A + c * 0.00625 degrees: the same at 600 rpm in single echo (a step of 0.2 degrees)
# but for float rounding, up to 5e-5 m here.
POINT_SLACK = 1e-4


def same_points(name, got, reference):
    """The points of the frames between the first and the last (which may be cut short)
    equal those of the CSV export: channel by channel, in firing order, the recording's run
    of points lies in the export's stream of them. The live receiver and the capture player
    may cut a revolution one firing apart, so frames are not compared one to one."""
    inner = [np.array(f["points"]).reshape(-1, 6) for f in got["frames"][1:-1]]
    if not inner:
        sys.exit(f"{name}: only {len(got['frames'])} frames")
    for ring in range(32):
        live = np.concatenate([cloud[cloud[:, 4] == ring][:, 0:4] for cloud in inner])
        stream = np.concatenate([rows[rows[:, 4] == ring][:, 0:4] for rows in reference])
        starts = np.nonzero(np.all(np.abs(stream - live[0]) <= POINT_SLACK, axis=1))[0]
        if not any(at + len(live) <= len(stream) and
                   np.all(np.abs(stream[at:at + len(live)] - live) <= POINT_SLACK) for at in starts):
            sys.exit(f"{name}: the {len(live)} points of channel {ring} are no run of the CSV export's")


def main():
    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)
        # Refused: --max-mb splits capture files only.
        bad = subprocess.run([CLI, "record", "--mcap", "x", "--max-mb", "5"], stderr=subprocess.PIPE, text=True)
        if bad.returncode != 2 or "--max-mb" not in bad.stderr:
            sys.exit(f"record --mcap --max-mb: {bad.returncode} {bad.stderr}")

        # A capture replayed live: the frames recorded equal the CSV export of the capture.
        capture = os.path.join(work, "hall.pcap")
        run(SIM, "--pcap", capture, "--seconds", "2", "--rpm", "600", "--quiet")
        run(CLI, "export", "--pcap", capture, "--csv", "hall.csv")
        reference = csv_frames("hall.csv")
        rec = recording("replayed.mcap")
        run(CLI, "replay", "--pcap", capture, *PORTS)
        time.sleep(0.5)
        rec.send_signal(signal.SIGTERM)
        finished(rec)
        got = read("replayed.mcap")
        check_whole("replayed.mcap (SIGTERM)", got)
        same_points("replayed.mcap", got, reference)

        sim = simulator("--seconds", "60")
        try:
            # --seconds, written by extension (--out) and by --mcap.
            for name, how in (("timed.mcap", ["--out", "timed.mcap"]), ("timed.data", ["--mcap", "timed.data"])):
                proc = subprocess.run([CLI, "record", *how, *PORTS, "--seconds", "3"], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True)
                if proc.returncode != 0 or not proc.stdout.startswith("recorded "):
                    sys.exit(f"record {' '.join(how)}: {proc.returncode} {proc.stdout} {proc.stderr}")
                check_whole(name, read(name), seconds=3)

            # Killed outright: the file is there under its name and reads up to its last whole chunk.
            rec = recording("killed.mcap")
            time.sleep(3)
            rec.kill()
            rec.communicate()
            leftovers = [n for n in os.listdir(work) if n.startswith("killed.mcap") and n != "killed.mcap"]
            if leftovers:
                sys.exit(f"a killed recording left {leftovers}")
            got = read("killed.mcap", stream=True)
            if not got["frames"] or not got["deviceInfos"] or not got["health"]:
                sys.exit(f"killed.mcap: streamed {len(got['frames'])} frames, {len(got['deviceInfos'])} device "
                         f"infos, {len(got['health'])} health messages")
            if [c["topic"] for c in got["channels"]] != ["/hvk32/points", "/hvk32/device_info", "/hvk32/health"]:
                sys.exit(f"killed.mcap: channels {got['channels']}")

            # A file size limit as a full disk: write fails (EFBIG, SIGXFSZ ignored), the
            # recording stops with an error and closes a whole file within the limit.
            limit = 4 * 10**6

            def limited():
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

            rec = recording("full.mcap", "--seconds", "30", preexec_fn=limited)
            out, err = finished(rec, expected_rc=1)
            if "File too large" not in err or os.path.getsize("full.mcap") > limit:
                sys.exit(f"full.mcap: {os.path.getsize('full.mcap')} bytes, {err}")
            got = read("full.mcap")
            check_whole("full.mcap", got, health_required=False)
            if not out.startswith(f"recorded {len(got['frames'])} frame"):
                sys.exit(f"full.mcap: the summary says {out!r}, the file holds {len(got['frames'])} frames")
        finally:
            sim.kill()
            sim.wait()


if __name__ == "__main__":
    main()
