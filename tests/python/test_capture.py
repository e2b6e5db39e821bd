"""hvk32.open(): the command line's frames, numbers and messages, as NumPy arrays."""
import gc
import os
import re
import subprocess
import sys

import numpy as np
import pytest

import hvk32
from conftest import cli, exported_points, info_summary


def csv_frames(path, tmp_path):
    """The rows of 'hvk32-cli export --csv', by frame number."""
    out = tmp_path / "all.csv"
    cli("export", "--pcap", path, "--csv", out)
    rows = np.loadtxt(out, delimiter=",", skiprows=1, ndmin=2)
    ids = rows[:, 0].astype(int)
    return {k: rows[ids == k] for k in np.unique(ids)}


def printed(values):
    """How far apart two numbers may be that print the same with 6 significant digits (plus one
    digit where the two conversions fall either side of a rounding)."""
    magnitude = np.floor(np.log10(np.maximum(np.abs(values), 1e-30)))
    return 10.0 ** (magnitude - 5) * 1.01


@pytest.mark.parametrize("echo", ["single", "dual"])
def test_frames_equal_the_csv_export(captures, tmp_path, echo):
    path = captures[echo]
    rows = csv_frames(path, tmp_path)
    with hvk32.open(path, keep_zero=True) as c:
        assert len(c) == info_summary(path)["frames"] == len(rows)
        assert c.summary() == info_summary(path)
        for k, f in enumerate(c):
            r = rows[k + 1]
            assert f.number == k + 1 and len(f) == len(r)
            assert f.xyz.shape == (len(r), 3) and f.xyz.dtype == np.float32
            for got, column in ((f.xyz[:, 0], 1), (f.xyz[:, 1], 2), (f.xyz[:, 2], 3), (f.azimuth, 6),
                                (f.distance, 7)):
                assert np.all(np.abs(got - r[:, column]) <= printed(r[:, column]) + 1e-6), column
            np.testing.assert_array_equal(f.intensity, r[:, 4])
            np.testing.assert_array_equal(f.ring, r[:, 5])
            # Device time in seconds; the CSV prints the time stamps in microseconds. In dual echo
            # a point's time is its firing's, at most six firings of 32 channels (295 us) after
            # the stated stamp, the same for both echoes and never going back within a channel.
            micros = np.rint(f.time * 1e6)
            if echo == "single":
                np.testing.assert_array_equal(micros, r[:, 9])
            else:
                assert np.all((micros - r[:, 9] >= 0) & (micros - r[:, 9] <= 295)), echo
                for c in range(32):
                    t, second = f.time[f.ring == c], f.return_index[f.ring == c]
                    pair = (second[1:] == 1) & (second[:-1] == 0)
                    assert np.array_equal(t[1:][pair], t[:-1][pair]) and np.all(np.diff(t)[~pair] >= 0), c
            assert set(np.unique(f.return_index)) == ({0, 1} if echo == "dual" else {0})
        # Returns of distance 0 are left out by default, as the binary exports leave them out.
        kept = hvk32.open(path)[3]
        assert len(kept) == np.count_nonzero(rows[4][:, 7]) and np.all(kept.distance > 0)


def test_frames_found_through_the_index_equal_played_ones(captures):
    c = hvk32.open(captures["single"])
    n = len(c)
    played = list(c)
    assert [f.number for f in played] == list(range(1, n + 1))
    assert sum(f.lost_packets for f in played) > 0  # the capture lost 1 % of its packets
    for i in (n - 1, 5, -1, -n, 6, 2):
        f, g = c[i], played[i]
        assert f.number == g.number and f.lost_packets == g.lost_packets
        np.testing.assert_array_equal(f.xyz, g.xyz)
        np.testing.assert_array_equal(f.time, g.time)
    assert [f.number for f in c[2:12:3]] == [3, 6, 9, 12]
    assert [f.number for f in c[::-4][1:3]] == [n - 4, n - 8]
    assert len(c[n:]) == 0 and c[-3:][0].number == n - 2
    for bad in (n, -n - 1):
        with pytest.raises(IndexError, match=f"has {n} frames, so there is no frame at index {bad}"):
            c[bad]


def test_the_first_frame_imports_nothing(captures):
    """Whatever a program imported before, its first frame costs only the reading: NumPy comes
    with the module, not with the first frame (a fresh interpreter, so nothing is loaded yet)."""
    program = ("import sys, hvk32\n"
               "c = hvk32.open(sys.argv[1])\n"
               "before = set(sys.modules)\n"
               "c[-1], c[2]\n"
               "print(*sorted(set(sys.modules) - before))\n")
    out = subprocess.run([sys.executable, "-c", program, str(captures["dual"])], check=True,
                         capture_output=True, text=True).stdout
    assert out == "\n"


def test_arrays_outlive_the_capture(captures):
    c = hvk32.open(captures["dual"])
    f = c[4]
    expected = f.xyz.copy(), f.time.copy()
    c.close()
    del c
    gc.collect()
    np.testing.assert_array_equal(f.xyz, expected[0])
    np.testing.assert_array_equal(f.time, expected[1])
    f.xyz[0, 0] = 1.0  # the frame's own memory


def test_errors_are_exceptions_with_the_command_line_messages(captures, tmp_path):
    with pytest.raises(FileNotFoundError, match="missing.pcap: cannot open"):
        hvk32.open(tmp_path / "missing.pcap")
    text = tmp_path / "notes.pcap"
    text.write_text("not a capture at all, only some text\n")
    with pytest.raises(ValueError, match="notes.pcap: not a capture file"):
        hvk32.open(text)
    c = hvk32.open(captures["single"])
    c.close()
    with pytest.raises(ValueError, match="closed"):
        len(c[0:2]) or c[0]
    with pytest.raises(ValueError, match="channel 32"):
        hvk32.open(captures["single"], channels=[0, 32])
    with pytest.raises(ValueError, match="Distance range invalid"):
        hvk32.open(captures["single"], min_distance=5, max_distance=2)


def test_paths_are_taken_as_python_s_open_takes_them(captures, tmp_path):
    path = captures["single"]
    expected = hvk32.open(str(path))[3]
    for given in (path, os.fsencode(path)):  # os.PathLike, bytes
        c = hvk32.open(given)
        assert c.path == str(path)
        np.testing.assert_array_equal(c[3].xyz, expected.xyz)
    with pytest.raises(FileNotFoundError, match=f"^{re.escape(str(tmp_path))}/missing.pcap: cannot open"):
        hvk32.open(os.fsencode(tmp_path / "missing.pcap"))


BIG = 10**30


@pytest.mark.parametrize("call, error, message", [
    # The part before the NUL is a capture that would open.
    (lambda p, c: hvk32.open(str(p) + "\0.txt"), ValueError, re.escape(r"single.pcap\x00.txt': embedded null byte")),
    (lambda p, c: hvk32.open(os.fsencode(p) + b"\0"), ValueError, re.escape(r"single.pcap\x00': embedded null byte")),
    (lambda p, c: hvk32.open(b"\xff.pcap"), ValueError, re.escape(r"b'\xff.pcap': a file name that is not UTF-8")),
    (lambda p, c: c[BIG], IndexError, f"no frame at index {BIG}$"),
    (lambda p, c: c[-BIG], IndexError, f"no frame at index -{BIG}$"),
    (lambda p, c: c[2**63], IndexError, f"no frame at index {2**63}$"),
    (lambda p, c: c[1:3][BIG], IndexError, f"has 2 frames, so there is no frame at index {BIG}$"),
    (lambda p, c: c[1.0], TypeError, "integers or slices, not float"),
    (lambda p, c: hvk32.open(p, min_distance=float("inf")), ValueError, "bad value 'inf' for min_distance"),
    (lambda p, c: hvk32.open(p, max_distance=float("inf")), ValueError, "bad value 'inf' for max_distance"),
    (lambda p, c: hvk32.open(p, max_distance=float("nan")), ValueError, "bad value 'nan' for max_distance"),
    (lambda p, c: hvk32.open(p, min_distance=1e39), ValueError, r"bad value '1e\+39' for min_distance"),
    (lambda p, c: hvk32.open(p, min_distance=-0.5), ValueError, "bad value '-0.5' for min_distance"),
])
def test_bad_arguments_raise_what_python_s_own_tools_raise(captures, call, error, message):
    path = captures["single"]
    with pytest.raises(error, match=message):
        call(path, hvk32.open(path))


def test_device_info_is_the_command_line_s(captures):
    import json
    c = hvk32.open(captures["dual"])
    lines = [json.loads(l) for l in cli("info", "--pcap", captures["dual"]).stdout.splitlines()]
    assert [d["offset"] for d in c.device_info] == [l["offset"] for l in lines]
    first = c.device_info[0]
    assert first["dataPort"] == 2368 and len(first["verticalAngles"]) == 32


def test_filters_apply_to_every_frame_as_the_exports_apply_them(captures):
    path = captures["dual"]
    c = hvk32.open(path, channels=range(0, 16), min_distance=2.0, max_distance=12.5)
    assert sum(len(f) for f in c) == exported_points(path, "--channels", "0-15", "--min-distance", "2",
                                                     "--max-distance", "12.5")
    f = c[2]
    assert f.ring.max() < 16 and f.distance.min() >= 2.0 and f.distance.max() <= 12.5
    assert sum(len(f) for f in hvk32.open(path)) == exported_points(path)
