#!/usr/bin/python3
"""PCD and PLY files of "hvk32-cli export" read by readers that are not ours: Open3D reads
x, y, z of both; PCL's tools convert our PLY into a PCD and that into text, and every field
read back matches the CSV export of the same frames (the CSV's 6 significant digits).

    PointFilesReadElsewhere.py HVK32-CLI HVK32-SIM
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import open3d as o3d

from csv_reference import DUAL_ECHO_TIME_SLACK, check_firings, close

FIELDS = ["x", "y", "z", "intensity", "ring", "time", "azimuth", "distance", "return"]


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def csv_points(path, frame):
    """Rows of one frame: x y z intensity channel azimuth distance timestamp, as numbers."""
    rows = []
    with open(path) as f:
        next(f)
        for line in f:
            v = line.split(",")
            if int(v[0]) == frame:
                rows.append([float(t) for t in v[1:9]])
    return np.array(rows)


def expected_fields(rows):
    """The CSV rows as the point files carry them: returns of distance 0 left out, time in
    seconds from the frame's first firing (the earliest first point of a channel)."""
    first = {}
    for r in rows:
        first.setdefault(int(r[4]), r[7])
    start = min(first.values())
    kept = rows[rows[:, 6] != 0]
    return {
        "x": kept[:, 0], "y": kept[:, 1], "z": kept[:, 2], "intensity": kept[:, 3], "ring": kept[:, 4],
        "time": (kept[:, 7] - start) / 1e6, "azimuth": kept[:, 5], "distance": kept[:, 6],
    }


# A float field of our files read back beside the CSV's 6 digits: 2e-6 of the format's own.
FLOAT_SLACK = 2e-6


def pcl_text(pcd, work):
    """A PCD file converted to ASCII by PCL: field names and a row per point."""
    ascii_pcd = os.path.join(work, "ascii.pcd")
    run("pcl_convert_pcd_ascii_binary", pcd, ascii_pcd, "0")
    names, rows, data = [], [], False
    with open(ascii_pcd) as f:
        for line in f:
            if data:
                rows.append([float(t) for t in line.split()])
            elif line.startswith("FIELDS"):
                names = line.split()[1:]
            elif line.startswith("DATA"):
                data = True
    return names, np.array(rows).reshape(len(rows), len(names))


def main():
    cli, sim = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        for echo in ("dual", "single"):
            capture = os.path.join(work, f"{echo}.pcap")
            run(sim, "--pcap", capture, "--seconds", "0.3", "--rpm", "1200", "--echo", echo, "--layout", "0.33",
                "--quiet")
            csv = os.path.join(work, f"{echo}.csv")
            run(cli, "export", "--pcap", capture, "--csv", csv, "--frames", "2")
            run(cli, "export", "--pcap", capture, "--pcd", os.path.join(work, f"{echo}.pcd"), "--frames", "2")
            run(cli, "export", "--pcap", capture, "--ply", os.path.join(work, f"{echo}.ply"), "--frames", "2")
            run(cli, "export", "--pcap", capture, "--pcd", os.path.join(work, f"{echo}-xyzi.pcd"), "--frames", "2",
                "--fields", "x,y,z,intensity")
            for frame in (1, 2):
                want = expected_fields(csv_points(csv, frame))
                xyz = np.stack([want["x"], want["y"], want["z"]], axis=1)
                for name in (f"{echo}-{frame:06d}.pcd", f"{echo}-{frame:06d}.ply", f"{echo}-xyzi-{frame:06d}.pcd"):
                    cloud = o3d.io.read_point_cloud(os.path.join(work, name))
                    close(np.asarray(cloud.points), xyz, f"Open3D, {name}: x y z", FLOAT_SLACK)

                # PCL: our PLY into a PCD, that PCD as text; every field compared.
                converted = os.path.join(work, "from-ply.pcd")
                run("pcl_ply2pcd", os.path.join(work, f"{echo}-{frame:06d}.ply"), converted)
                names, rows = pcl_text(converted, work)
                if names[:len(FIELDS)] != FIELDS:
                    sys.exit(f"PCL read the fields {names} from our PLY")
                for i, name in enumerate(FIELDS[:-1]):
                    slack = DUAL_ECHO_TIME_SLACK if name == "time" and echo == "dual" else 0.0
                    close(rows[:, i], want[name], f"PCL, {echo} frame {frame}: {name}", FLOAT_SLACK + slack)
                check_firings(f"PCL, {echo} frame {frame}", rows[:, FIELDS.index("ring")],
                              rows[:, FIELDS.index("time")], rows[:, FIELDS.index("return")])
                returns = set(rows[:, FIELDS.index("return")].astype(int))
                if returns != ({0, 1} if echo == "dual" else {0}):
                    sys.exit(f"PCL, {echo} frame {frame}: return values {returns}")

                # PCL reads our PCD as well: the same text as from our PLY.
                names_pcd, rows_pcd = pcl_text(os.path.join(work, f"{echo}-{frame:06d}.pcd"), work)
                if names_pcd != names or not np.array_equal(rows_pcd, rows):
                    sys.exit(f"PCL, {echo} frame {frame}: our PCD and our PLY read differently")
    print("PCD and PLY read by Open3D and PCL match the CSV export")


if __name__ == "__main__":
    main()
