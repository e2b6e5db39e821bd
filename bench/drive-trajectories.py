#!/usr/bin/python3
"""Writes drives through the simulator's town as TUM trajectory files for hvk32-sim --trajectory.

    /usr/bin/python3 bench/drive-trajectories.py DRIVE [OUT]     (OUT default: standard output)
    /usr/bin/python3 bench/drive-trajectories.py --list

A drive follows street centre lines (x = 100 i, y = 100 j) through corners given on that grid,
turning at each corner on an arc of 10 m radius. It starts and ends at rest, speeds up at
2 m/s^2 to its cruising speed, brakes at 3 m/s^2, and takes the turns at 6 m/s (3.6 m/s^2
sideways). The scanner stands upright 1.8 m above the road, its x axis pointing the way it
goes. One pose every 0.01 s, times in seconds from the start of the stream. Only the standard
library and fixed formatting: the same drive gives the same file byte for byte.
"""

import math
import sys

HEIGHT = 1.8           # [m], the scanner above the road
TURN_RADIUS = 10.0     # [m]
TURN_SPEED = 6.0       # [m/s]
ACCELERATION = 2.0     # [m/s^2]
DECELERATION = 3.0     # [m/s^2]
SAMPLE = 0.01          # [s] between poses
STEP = 0.01            # [m], the speed profile's resolution along the path

# name: (corners the drive goes through, cruising speed [m/s], what it is)
DRIVES = {
    "straight": ([(-280, 0), (280, 0)], 15.0,
                 "560 m along the street y = 0 at up to 15 m/s, across five intersections"),
    "turns": ([(-150, -100), (0, -100), (0, 0), (100, 0), (100, 100), (250, 100)], 15.0,
              "about 580 m at up to 15 m/s with two left and two right turns at intersections"),
    "short-turn": ([(-40, -100), (0, -100), (0, -40)], 10.0,
                   "about 96 m in 15 s at up to 10 m/s, turning left at (0, -100); for tests"),
}


def pieces_of(corners):
    """The path as straight pieces and arcs: (length, curvature [1/m]), with its start and heading."""
    r = TURN_RADIUS
    headings = [math.atan2(b[1] - a[1], b[0] - a[0]) for a, b in zip(corners, corners[1:])]
    lengths = [math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(corners, corners[1:])]
    pieces = []
    cut_before = 0.0  # [m] of the current leg taken by the arc before it
    for k, length in enumerate(lengths):
        turn = 0.0
        cut_after = 0.0
        if k + 1 < len(lengths):
            turn = math.remainder(headings[k + 1] - headings[k], 2 * math.pi)
            cut_after = r * math.tan(abs(turn) / 2)
        straight = length - cut_before - cut_after
        if straight < 0:
            raise ValueError("corners too close for the turn radius")
        pieces.append((straight, 0.0))
        if turn:
            pieces.append((r * abs(turn), math.copysign(1.0 / r, turn)))
        cut_before = cut_after
    return corners[0], headings[0], pieces


def speed_profile(pieces, cruise):
    """Speeds at every STEP along the path: limited by the pieces, by speeding up from rest and
    by braking to rest at the end and to each turn's speed before it."""
    limits = []
    for length, curvature in pieces:
        n = int(round(length / STEP))
        limits += [TURN_SPEED if curvature else cruise] * n
    limits.append(0.0)
    limits[0] = 0.0
    v = limits[:]
    for i in range(1, len(v)):
        v[i] = min(v[i], math.sqrt(v[i - 1] ** 2 + 2 * ACCELERATION * STEP))
    for i in range(len(v) - 2, -1, -1):
        v[i] = min(v[i], math.sqrt(v[i + 1] ** 2 + 2 * DECELERATION * STEP))
    return v


def pose_along(start, heading0, pieces, s):
    """Position and heading at distance s along the path."""
    x, y = start
    heading = heading0
    for length, curvature in pieces:
        d = min(s, length)
        if curvature == 0.0:
            x += d * math.cos(heading)
            y += d * math.sin(heading)
        else:
            turned = d * curvature
            x += (math.sin(heading + turned) - math.sin(heading)) / curvature
            y += (math.cos(heading) - math.cos(heading + turned)) / curvature
            heading += turned
        s -= d
        if s <= 0.0:
            break
    return x, y, heading


def tum_lines(name):
    corners, cruise, _ = DRIVES[name]
    start, heading0, pieces = pieces_of(corners)
    v = speed_profile(pieces, cruise)
    # Time at each step of the profile, from the mean speed over the step.
    times = [0.0]
    for i in range(1, len(v)):
        times.append(times[-1] + 2 * STEP / (v[i - 1] + v[i]))
    end = times[-1]
    lines = []
    i = 0
    for k in range(int(math.floor(end / SAMPLE)) + 1):
        t = k * SAMPLE
        while i + 1 < len(times) - 1 and times[i + 1] <= t:
            i += 1
        share = min(1.0, max(0.0, (t - times[i]) / (times[i + 1] - times[i])))
        s = (i + share) * STEP
        x, y, heading = pose_along(start, heading0, pieces, s)
        lines.append("%.2f %.5f %.5f %.2f 0 0 %.9f %.9f" % (t, x, y, HEIGHT, math.sin(heading / 2),
                                                            math.cos(heading / 2)))
    return lines


def main(argv):
    if len(argv) == 2 and argv[1] == "--list":
        for name, (_, _, what) in DRIVES.items():
            print("%-11s %s" % (name, what))
        return 0
    if len(argv) not in (2, 3) or argv[1] not in DRIVES:
        sys.stderr.write("usage: drive-trajectories.py DRIVE [OUT] | --list   (drives: %s)\n" % ", ".join(DRIVES))
        return 2
    text = "\n".join(tum_lines(argv[1])) + "\n"
    if len(argv) == 3:
        with open(argv[2], "w") as out:
            out.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
