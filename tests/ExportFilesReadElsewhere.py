#!/usr/bin/python3
"""LAS, MCAP and KITTI files of "hvk32-cli export" read by readers that are not ours:
loaders.gl's LAS loader, the MCAP project's indexed reader with Foxglove's ROS 2 message
decoder (npm, pinned in tests/readers) and NumPy's fromfile for KITTI. Point counts,
coordinates and intensities match the CSV export of the same frames; the LAS header's
bounds, counts and the per-point values loaders.gl does not decode are checked against the
published layout of point data format 1.

    ExportFilesReadElsewhere.py HVK32-CLI HVK32-SIM READERS-DIR
"""
import datetime
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

from csv_reference import DUAL_ECHO_TIME_SLACK, check_firings, close

LAS_POINT = np.dtype([("x", "<i4"), ("y", "<i4"), ("z", "<i4"), ("intensity", "<u2"), ("flags", "u1"),
                      ("classification", "u1"), ("scan_angle", "i1"), ("user_data", "u1"),
                      ("point_source", "<u2"), ("gps_time", "<f8")])


def run(*args):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({done.returncode}): {done.stderr}")
    return done


FIRST_FIRING = {}  # frame id: time stamp of the frame's first firing, of the capture in hand


def csv_frames(path, all_channels=True):
    """{frame id: rows x y z intensity channel azimuth distance timestamp} of a CSV export,
    returns of distance 0 left out as the binary outputs leave them out. From an export of
    all channels FIRST_FIRING gets each frame's first firing: the earliest first point of a
    channel, empty returns included (times count from it whatever channels are written)."""
    frames, first = {}, {}
    with open(path) as f:
        next(f)
        for line in f:
            v = line.split(",")
            first.setdefault(int(v[0]), {}).setdefault(int(v[5]), float(v[8]))
            if float(v[7]) != 0:
                frames.setdefault(int(v[0]), []).append([float(t) for t in v[1:9]])
    if all_channels:
        FIRST_FIRING.update({k: min(channels.values()) for k, channels in first.items()})
    return {k: np.array(rows) for k, rows in frames.items()}


def read_las_elsewhere(readers, path):
    out = subprocess.run(["node", os.path.join(readers, "read-las.mjs"), path], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    if out.returncode != 0:
        sys.exit(f"loaders.gl could not read {path}: {out.stderr}")
    return json.loads(out.stdout)


def check_las(readers, path, frames, dual, frame_ids):
    """One LAS file holding `frame_ids` of the CSV export `frames`."""
    rows = np.concatenate([frames[k] for k in frame_ids]) if frame_ids else np.zeros((0, 8))
    got = read_las_elsewhere(readers, path)
    name = os.path.basename(path)
    if got["pointsFormatId"] != 1 or got["pointsStructSize"] != 28:
        sys.exit(f"{name}: point data format {got['pointsFormatId']}, records of {got['pointsStructSize']} bytes")
    if got["pointsCount"] != len(rows) or got["vertexCount"] != len(rows):
        sys.exit(f"{name}: loaders.gl read {got['vertexCount']} points, the CSV has {len(rows)}")
    if got["scale"] != [0.001] * 3:
        sys.exit(f"{name}: scale {got['scale']}")
    positions = np.array(got["positions"]).reshape(-1, 3)
    close(positions, rows[:, 0:3], f"{name}: x y z", 0.0005 + 1e-9)
    close(got["intensities"], rows[:, 3], f"{name}: intensity", 0)
    if len(rows):
        # The header's bounds are those of the stored coordinates, which lie near the offset.
        if not np.allclose(got["mins"], positions.min(axis=0), atol=1e-9) or \
                not np.allclose(got["maxs"], positions.max(axis=0), atol=1e-9):
            sys.exit(f"{name}: header bounds {got['mins']} .. {got['maxs']}, points "
                     f"{positions.min(axis=0)} .. {positions.max(axis=0)}")
        middle = (positions.min(axis=0) + positions.max(axis=0)) / 2
        if np.any(np.abs(np.array(got["offset"]) - middle) > 100):
            sys.exit(f"{name}: offset {got['offset']} far from the data around {middle}")
    elif got["mins"] != [0, 0, 0] or got["maxs"] != [0, 0, 0]:
        sys.exit(f"{name}: an empty file with bounds {got['mins']} .. {got['maxs']}")

    # What loaders.gl leaves undecoded, read by the published layout.
    with open(path, "rb") as f:
        data = f.read()
    if data[0:4] != b"LASF" or data[24:26] != b"\x01\x02":
        sys.exit(f"{name}: signature {data[0:4]}, version {data[24]}.{data[25]}")
    system = data[26:58].rstrip(b"\0").decode()
    software = data[58:90].rstrip(b"\0").decode()
    if system != "HVK32" or not software.startswith("hvk32-cli "):
        sys.exit(f"{name}: system '{system}', software '{software}'")
    day, year, header_size, point_offset = struct.unpack_from("<HHHI", data, 90)
    if (day, year) != (64, 2026) or header_size != 227 or point_offset != 227:
        sys.exit(f"{name}: created day {day} of {year}, header {header_size}, points at {point_offset}")
    by_return = struct.unpack_from("<5I", data, 111)
    points = np.frombuffer(data, dtype=LAS_POINT, offset=227)
    if len(points) != len(rows):
        sys.exit(f"{name}: {len(points)} records after the header")
    returns = points["flags"] & 7
    counts = (points["flags"] >> 3) & 7
    if set(counts) - {2 if dual else 1} or (not dual and set(returns) - {1}) or set(returns) - {1, 2}:
        sys.exit(f"{name}: return numbers {set(returns)} of {set(counts)} returns")
    if dual and len(rows) and set(returns) != {1, 2}:
        sys.exit(f"{name}: a dual-echo file with return numbers {set(returns)}")
    if by_return != (int(np.sum(returns == 1)), int(np.sum(returns == 2)), 0, 0, 0):
        sys.exit(f"{name}: points by return {by_return}")
    if not np.array_equal(points["user_data"], rows[:, 4].astype(np.uint8)):
        sys.exit(f"{name}: user data is not the channel")
    sources = np.concatenate([np.full(len(frames[k]), k % 65536) for k in frame_ids]) if frame_ids else []
    if not np.array_equal(points["point_source"], sources):
        sys.exit(f"{name}: point source IDs are not the frame numbers")
    close(points["gps_time"], rows[:, 7] / 1e6, f"{name}: GPS time", 1e-6 + (DUAL_ECHO_TIME_SLACK if dual else 0))
    for k in frame_ids:
        at = points["point_source"] == k % 65536
        check_firings(f"{name}: frame {k} GPS time", points["user_data"][at], points["gps_time"][at],
                      returns[at] == 2)
    return positions


def check_mcap(readers, path, frames, frame_ids, compression, start_ns, dual=False):
    out = subprocess.run(["node", os.path.join(readers, "read-mcap.mjs"), path], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    name = os.path.basename(path)
    if out.returncode != 0:
        sys.exit(f"the MCAP reader could not read {name}: {out.stderr}")
    got = json.loads(out.stdout)
    channels = {c["topic"]: c for c in got["channels"]}
    points, info = channels.get("/hvk32/points"), channels.get("/hvk32/device_info")
    if got["profile"] != "ros2" or not points or not info:
        sys.exit(f"{name}: profile {got['profile']}, topics {list(channels)}")
    if (points["messageEncoding"], points["schema"], points["schemaEncoding"]) != \
            ("cdr", "sensor_msgs/msg/PointCloud2", "ros2msg") or \
            (info["messageEncoding"], info["schemaEncoding"]) != ("json", "jsonschema"):
        sys.exit(f"{name}: channels {got['channels']}")
    for dependency in ("MSG: std_msgs/Header", "MSG: builtin_interfaces/Time", "MSG: sensor_msgs/PointField"):
        if dependency not in points["schemaText"]:
            sys.exit(f"{name}: the PointCloud2 schema lacks {dependency}")
    if got["dataCrcMatches"] is not True or got["chunkCompressions"] != [compression]:
        sys.exit(f"{name}: data section CRC {got['dataCrcMatches']}, chunks {got['chunkCompressions']}")
    stats = got["statistics"]
    counts = {"/hvk32/points": len(frame_ids), "/hvk32/device_info": len(got["deviceInfos"])}
    if stats["channelMessageCounts"] != counts or stats["messageCount"] != sum(counts.values()) or \
            stats["chunkCount"] != got["chunkCount"] or sum(got["streamCounts"].values()) != stats["messageCount"]:
        sys.exit(f"{name}: statistics {stats}, read {counts}, streamed {got['streamCounts']}")
    if not got["deviceInfos"] or len(got["deviceInfos"][0]["value"]["verticalAngles"]) != 32:
        sys.exit(f"{name}: device infos {got['deviceInfos'][:1]}")
    times = [int(f["logTime"]) for f in got["frames"]]
    if times != sorted(times) or not all(start_ns <= t < start_ns + 10**9 for t in times):
        sys.exit(f"{name}: frame log times {times}, the capture starts at {start_ns}")
    for f, k in zip(got["frames"], frame_ids):
        rows = frames[k]
        if f["stamp"] != [int(f["logTime"]) // 10**9, int(f["logTime"]) % 10**9] or f["frameId"] != "hvk32" or \
                f["publishTime"] != f["logTime"] or f["height"] != 1 or f["width"] != len(rows) or \
                f["rowStep"] != f["width"] * f["pointStep"] or f["isBigendian"] or not f["isDense"]:
            sys.exit(f"{name}: frame {k}: {dict((key, v) for key, v in f.items() if key != 'points')}")
        if [field[0] for field in f["fields"]] != ["x", "y", "z", "intensity", "ring", "time"]:
            sys.exit(f"{name}: fields {f['fields']}")
        cloud = np.array(f["points"]).reshape(-1, 6)
        close(cloud[:, 0:4], rows[:, 0:4], f"{name} frame {k}: x y z intensity", 1e-6)
        close(cloud[:, 4], rows[:, 4], f"{name} frame {k}: ring", 0)
        close(cloud[:, 5], (rows[:, 7] - FIRST_FIRING[k]) / 1e6, f"{name} frame {k}: time",
              2e-6 + (DUAL_ECHO_TIME_SLACK if dual else 0))
    return got


def check_kitti(folder, frames, frame_ids):
    names = sorted(os.listdir(folder))
    if names != [f"{n:06d}.bin" for n in range(len(frame_ids))]:
        sys.exit(f"KITTI folder holds {names[:3]}... ({len(names)} files) for {len(frame_ids)} frames")
    for name, k in zip(names, frame_ids):
        points = np.fromfile(os.path.join(folder, name), dtype=np.float32).reshape(-1, 4)
        close(points[:, 0:3], frames[k][:, 0:3], f"KITTI {name}: x y z", 1e-6)
        close(points[:, 3], frames[k][:, 3] / 255, f"KITTI {name}: intensity", 1e-6)


def check_device_infos(cli, sim, readers, work):
    """A whole capture's MCAP file holds every device-info packet at its own capture time, also
    the one sent after the last frame began."""
    capture = os.path.join(work, "infos.pcap")
    run(sim, "--pcap", capture, "--seconds", "2.02", "--rpm", "1200", "--start-time", "2026-03-05T10:00:00", "--quiet")
    summary = json.loads(subprocess.run([cli, "info", "--pcap", capture, "--summary"], stdout=subprocess.PIPE,
                                        check=True, text=True).stdout)
    mcap = os.path.join(work, "infos.mcap")
    run(cli, "export", "--pcap", capture, "--mcap", mcap)
    out = subprocess.run(["node", os.path.join(readers, "read-mcap.mjs"), mcap], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    if out.returncode != 0:
        sys.exit(f"the MCAP reader could not read infos.mcap: {out.stderr}")
    got = json.loads(out.stdout)
    start_ns = int(datetime.datetime(2026, 3, 5, 10).timestamp()) * 10**9  # local time, as the simulator
    times = [int(i["logTime"]) for i in got["deviceInfos"]]
    # The simulator sends one a second, the first with the first data packet.
    expected = [start_ns + k * 10**9 for k in range(summary["deviceInfoPackets"])]
    if summary["deviceInfoPackets"] != 3 or [round(t, -6) for t in times] != expected:
        sys.exit(f"infos.mcap: device-info log times {times} for {summary['deviceInfoPackets']} packets from {start_ns}")
    if times[-1] <= max(int(f["logTime"]) for f in got["frames"]):
        sys.exit("infos.mcap: the last device-info packet does not come after the last frame's start")


def main():
    cli, sim, readers = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        for echo, rpm in (("dual", "600"), ("single", "1200")):
            FIRST_FIRING.clear()
            capture = os.path.join(work, f"{echo}.pcap")
            run(sim, "--pcap", capture, "--seconds", "0.35", "--rpm", rpm, "--echo", echo, "--layout", "0.33",
                "--start-time", "2026-03-05T10:00:00", "--quiet")
            csv = os.path.join(work, f"{echo}.csv")
            run(cli, "export", "--pcap", capture, "--csv", csv, "--frames", "3")
            frames = csv_frames(csv)
            ids = sorted(frames)
            las = os.path.join(work, f"{echo}.las")
            run(cli, "export", "--pcap", capture, "--out", las, "--frames", "3")
            positions = check_las(readers, las, frames, echo == "dual", ids)
            # The hall lies around the scanner: coordinates on both sides of every horizontal axis.
            if not (positions[:, 0:2].min(axis=0) < -1).all() or not (positions[:, 0:2].max(axis=0) > 1).all():
                sys.exit(f"{echo}: no negative and positive x and y in {positions.min(axis=0)} .. {positions.max(axis=0)}")
            # The simulator's hall is 16 m wide between its side walls.
            width = positions[:, 1].max() - positions[:, 1].min()
            if abs(width - 16) > 0.1:
                sys.exit(f"{echo}: the hall read back is {width} m wide")
            if echo == "dual" and max(len(frames[k]) for k in ids) <= 65535:
                sys.exit("the dual-echo frames are not larger than 65,535 points")
            start_ns = int(datetime.datetime(2026, 3, 5, 10).timestamp()) * 10**9  # local time, as the simulator
            mcap = os.path.join(work, f"{echo}.mcap")
            run(cli, "export", "--pcap", capture, "--out", mcap, "--frames", "3")
            got = check_mcap(readers, mcap, frames, ids, "zstd", start_ns, echo == "dual")
            if echo == "dual" and got["chunkCount"] < 2:
                sys.exit("the dual-echo frames did not fill more than one chunk")
            for compression, name in (("lz4", "lz4"), ("none", "")):
                run(cli, "export", "--pcap", capture, "--mcap", mcap, "--frames", "3", "--compression", compression)
                check_mcap(readers, mcap, frames, ids, name, start_ns, echo == "dual")
            kitti = os.path.join(work, f"{echo}-kitti")
            run(cli, "export", "--pcap", capture, "--kitti", kitti, "--frames", "3")
            check_kitti(kitti, frames, ids)

            # Frames 2..3 and some channels only: the same selection in every output.
            part = ["--from", "2", "--to", "3", "--channels", "3-9"]
            run(cli, "export", "--pcap", capture, "--csv", csv, *part)
            frames = csv_frames(csv, all_channels=False)
            run(cli, "export", "--pcap", capture, "--las", las, *part)
            check_las(readers, las, frames, echo == "dual", sorted(frames))
            run(cli, "export", "--pcap", capture, "--mcap", mcap, *part)
            check_mcap(readers, mcap, frames, sorted(frames), "zstd", start_ns, echo == "dual")

            # A range without a frame writes nothing at all.
            for output in (["--las", las + ".none"], ["--mcap", mcap + ".none"], ["--kitti", kitti + "-none"]):
                done = subprocess.run([cli, "export", "--pcap", capture, "--start", "100", *output],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                if done.returncode != 1 or os.path.exists(output[1]):
                    sys.exit(f"an empty frame range: exit {done.returncode}, {output[1]} left: {done.stderr}")
        check_device_infos(cli, sim, readers, work)
    print("LAS read by loaders.gl, MCAP by the MCAP reader and KITTI by NumPy match the CSV export")


if __name__ == "__main__":
    main()
