#!/usr/bin/python3
"""Pictures and videos of "hvk32-cli render", made without a display and read by readers that
are not ours: Debian's ffprobe and ffmpeg read the MP4, Pillow reads the PNGs.

    RenderReadElsewhere.py HVK32-CLI HVK32-SIM CASE

CASE is one of:
  video    the MP4's codec, picture format, size, picture count and duration as ffprobe reads
           them; its pictures decoded by ffmpeg match the PNGs of the same frames; --speed and
           --fps; nothing but the video is left in its folder
  top      a top view of a simulator frame lights the pixels where the frame's points fall
           (column W/2 + x·s, row H/2 − y·s, s = min(W, H) / 2R) in their colours, and few
           others; the same command gives the same bytes
  refused  bad values are refused with a message and exit status 2, before any work
  map      --map renders a drive's growing map into a video and a picture
"""
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

from csv_reference import csv_frames

# No display of any kind: the command must not need one.
ENV = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY")}


def run(*args, check=True):
    r = subprocess.run(args, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and r.returncode != 0:
        sys.exit(f"{' '.join(map(str, args))} exited {r.returncode}: {r.stderr}")
    return r


def probe(path):
    out = run("ffprobe", "-v", "error", "-of", "json", "-count_frames", "-show_streams", "-show_format", path).stdout
    info = json.loads(out)
    return info["streams"][0], info["format"]


def decoded(path, width, height):
    """Every picture of a video as ffmpeg decodes it, RGB."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, height, width, 3)


def png(path):
    return np.asarray(Image.open(path).convert("RGB"))


def expect(condition, message):
    if not condition:
        sys.exit(message)


def case_video(cli, sim, work):
    capture = os.path.join(work, "hall.pcap")
    run(sim, "--pcap", capture, "--seconds", "2", "--rpm", "600", "--quiet")
    frames_dir = os.path.join(work, "frames") + "/"
    run(cli, "render", "--pcap", capture, "--out", frames_dir, "--size", "320x240", "--view", "perspective")
    names = sorted(os.listdir(frames_dir))
    frames = len(names)
    expect(frames >= 15 and names[0] == "000001.png" and names[-1] == f"{frames:06d}.png",
           f"the folder holds {names}")

    out_dir = os.path.join(work, "video")
    os.mkdir(out_dir)
    video = os.path.join(out_dir, "hall.mp4")
    run(cli, "render", "--pcap", capture, "--out", video, "--size", "320x240", "--view", "perspective")
    expect(os.listdir(out_dir) == ["hall.mp4"], f"beside the video: {os.listdir(out_dir)}")
    stream, container = probe(video)
    expect(stream["codec_name"] == "h264" and stream["pix_fmt"] == "yuv420p", f"ffprobe read {stream}")
    expect((stream["width"], stream["height"]) == (320, 240), f"ffprobe read {stream['width']}x{stream['height']}")
    expect(int(stream["nb_read_frames"]) == frames, f"{stream['nb_read_frames']} pictures for {frames} frames")
    # At the capture's own rate (600 rpm: 10 frames a second) the video lasts as long as the capture.
    expect(stream["r_frame_rate"] == "10/1", f"frame rate {stream['r_frame_rate']}")
    expect(abs(float(container["duration"]) - frames / 10) < 0.11, f"duration {container['duration']} s")

    # Each decoded picture is the PNG of its frame, but for the video's loss: the overlay's
    # frame counter tells the frames apart.
    pictures = decoded(video, 320, 240)
    for k in (0, frames // 2, frames - 1):
        mine = png(os.path.join(frames_dir, names[k])).astype(int)
        error = np.abs(pictures[k].astype(int) - mine).mean()
        other = np.abs(pictures[k].astype(int) - png(os.path.join(frames_dir, names[(k + 7) % frames]))).mean()
        # yuv420p keeps colour at half the resolution, which blurs the colour of lone pixels.
        expect(error < 8.0, f"picture {k + 1} differs from its PNG by {error:.2f} on average")
        expect(error < other, f"picture {k + 1} is closer to another frame's PNG ({other:.2f} < {error:.2f})")

    # A part of the capture, by frame and by time.
    part = os.path.join(work, "part") + "/"
    run(cli, "render", "--pcap", capture, "--out", part, "--size", "64x48", "--from", "3", "--to", "6")
    expect(sorted(os.listdir(part)) == [f"{n:06d}.png" for n in range(3, 7)], f"--from 3 --to 6: {os.listdir(part)}")
    timed = os.path.join(out_dir, "part.mp4")
    run(cli, "render", "--pcap", capture, "--out", timed, "--size", "64x48", "--start", "0.5", "--duration", "0.5")
    n = int(probe(timed)[0]["nb_read_frames"])
    expect(n in (5, 6), f"--start 0.5 --duration 0.5 gave {n} pictures")

    # Twice as fast: half the pictures; 25 pictures a second: as long as before.
    fast = os.path.join(out_dir, "fast.mp4")
    run(cli, "render", "--pcap", capture, "--out", fast, "--size", "320x240", "--speed", "2")
    n = int(probe(fast)[0]["nb_read_frames"])
    expect(abs(n - frames / 2) <= 1, f"--speed 2 gave {n} pictures of {frames} frames")
    smooth = os.path.join(out_dir, "smooth.mp4")
    run(cli, "render", "--pcap", capture, "--out", smooth, "--size", "320x240", "--fps", "25")
    stream, container = probe(smooth)
    expect(stream["r_frame_rate"] == "25/1", f"--fps 25 gave {stream['r_frame_rate']}")
    expect(abs(float(container["duration"]) - frames / 10) < 0.11, f"--fps 25 lasts {container['duration']} s")


# The device's intensity colours, as the window draws them.
def intensity_colour(i):
    i = int(i)
    if i < 32:
        return (0, (8 * i) & 255, 255)
    if i < 64:
        return (0, 255, (255 - 4 * (i - 32)) & 255)
    if i < 128:
        return ((4 * i - 64) & 255, 255, 0)
    return (255, (254 - 2 * i) & 255, 0)


def case_top(cli, sim, work):
    capture = os.path.join(work, "hall.pcap")
    run(sim, "--pcap", capture, "--seconds", "0.5", "--rpm", "600", "--quiet")
    csv = os.path.join(work, "frame.csv")
    run(cli, "export", "--pcap", capture, "--csv", csv, "--from", "3", "--to", "3")
    points = csv_frames(csv)[0]
    width, height, metres = 800, 600, 15.0
    picture = os.path.join(work, "top.png")
    args = (cli, "render", "--pcap", capture, "--out", picture, "--frame", "3", "--size", f"{width}x{height}",
            "--range", str(metres), "--no-overlay")
    run(*args)
    image = png(picture)
    expect(image.shape == (height, width, 3), f"Pillow read a picture of {image.shape}")

    s = min(width, height) / (2 * metres)
    column = np.floor(width / 2 + points[:, 0] * s).astype(int)
    row = np.floor(height / 2 - points[:, 1] * s).astype(int)
    inside = (column >= 0) & (column < width) & (row >= 0) & (row < height)
    expected = set(zip(column[inside], row[inside]))
    lit = set(zip(*np.nonzero(image.any(axis=2))[::-1]))
    expect(len(expected) > 1000, f"only {len(expected)} pixels of points in the picture")
    missed = len(expected - lit) / len(expected)
    stray = len(lit - expected) / len(lit)
    # The CSV's 6 digits put a point on the neighbouring pixel now and then.
    expect(missed < 0.01, f"{missed:.2%} of the points' pixels are dark")
    expect(stray < 0.01, f"{stray:.2%} of the lit pixels hold no point")
    # A pixel shows the colour of one of its points: the highest.
    colours = {}
    for c, r, z, i in zip(column[inside], row[inside], points[inside, 2], points[inside, 3]):
        if (c, r) not in colours or z > colours[(c, r)][0]:
            colours[(c, r)] = (z, intensity_colour(i))
    wrong = sum(1 for (c, r), (_, rgb) in colours.items() if tuple(image[r, c]) != rgb)
    expect(wrong < 0.01 * len(colours), f"{wrong} of {len(colours)} pixels in another colour than their point's")

    # The same command, the same bytes; with the overlay too.
    again = os.path.join(work, "again.png")
    run(*args[:5], again, *args[6:])
    expect(open(picture, "rb").read() == open(again, "rb").read(), "the same command gave other bytes")
    with_overlay = [os.path.join(work, f"overlay{k}.png") for k in (1, 2)]
    for path in with_overlay:
        run(cli, "render", "--pcap", capture, "--out", path, "--frame", "3", "--color", "elevation")
    expect(open(with_overlay[0], "rb").read() == open(with_overlay[1], "rb").read(),
           "the same command with its overlay gave other bytes")


def case_refused(cli, sim, work):
    capture = os.path.join(work, "hall.pcap")
    run(sim, "--pcap", capture, "--seconds", "0.3", "--rpm", "600", "--quiet")
    out = os.path.join(work, "out")
    os.mkdir(out)
    os.mkdir(os.path.join(out, "taken.mp4"))
    cases = [
        (["--size", "0x0"], "--size"),
        (["--size", "641x480"], "even"),
        (["--range", "-1"], "--range"),
        (["--color", "purple"], "purple"),
        (["--view", "sideways"], "--view"),
        (["--point-size", "0"], "--point-size"),
        (["--fps", "0"], "--fps"),
        (["--crf", "52"], "--crf"),
        (["--out", "/nonexistent/drive.mp4"], "does not exist"),
        (["--out", os.path.join(capture, "x.png")], "does not exist"),
        (["--out", os.path.join(out, "taken.mp4")], "is a folder"),
        (["--out", os.path.join(out, "drive.avi")], ".mp4"),
        (["--out", os.path.join(out, "one.png"), "--from", "2"], "--frame"),
        (["--out", os.path.join(out, "one.png"), "--fps", "5"], "--fps"),
        (["--frame", "2"], "--frame"),
    ]
    for extra, hint in cases:
        args = ["--pcap", capture, "--out", os.path.join(out, "drive.mp4")]
        if "--out" in extra:
            args = args[:2]
        r = run(cli, "render", *args, *extra, check=False)
        expect(r.returncode == 2, f"{extra}: exit status {r.returncode}, {r.stderr}")
        expect(hint in r.stderr, f"{extra}: the message does not say '{hint}': {r.stderr}")
        expect(sorted(os.listdir(out)) == ["taken.mp4"], f"{extra} left {os.listdir(out)}")


def case_map(cli, sim, work):
    capture = os.path.join(work, "town.pcap")
    run(sim, "--pcap", capture, "--scene", "town", "--drive", "loop", "--seconds", "3", "--quiet")
    video = os.path.join(work, "map.mp4")
    r = run(cli, "render", "--pcap", capture, "--out", video, "--map", "--size", "320x240")
    expect("map of" in r.stderr, f"no map in the summary: {r.stderr}")
    stream, _ = probe(video)
    expect(int(stream["nb_read_frames"]) >= 25, f"the map's video holds {stream['nb_read_frames']} pictures")
    pictures = decoded(video, 320, 240)
    # The map grows: more of the last picture is lit than of the first.
    first, last = (np.count_nonzero(pictures[k].max(axis=2) > 40) for k in (0, -1))
    expect(last > first * 1.2, f"the map did not grow: {first} lit pixels, then {last}")
    top = os.path.join(work, "map.png")
    run(cli, "render", "--pcap", capture, "--out", top, "--map", "--view", "top", "--frame", "20")
    # The path (magenta) runs through the centre, where the scanner is.
    image = png(top)
    h, w, _ = image.shape
    centre = image[h // 2 - 6:h // 2 + 6, w // 2 - 6:w // 2 + 6].reshape(-1, 3)
    expect(any(tuple(p) == (255, 0, 255) for p in centre), "no scanner at the top view's centre")


def main():
    cli, sim, case = sys.argv[1], sys.argv[2], sys.argv[3]
    with tempfile.TemporaryDirectory() as work:
        {"video": case_video, "top": case_top, "refused": case_refused, "map": case_map}[case](cli, sim, work)


if __name__ == "__main__":
    main()
