"""hvk32.odometry() gives the command line's trajectory: the same frames, instants and poses."""
import subprocess

import numpy as np
import pytest

import hvk32
from conftest import CLI, SIM, START, cli


@pytest.fixture(scope="module")
def drive(tmp_path_factory):
    """Two seconds of the town drive: the scanner moves 1 m a frame."""
    path = tmp_path_factory.mktemp("drive") / "drive.pcap"
    subprocess.run([SIM, "--quiet", "--scene", "town", "--drive", "loop", "--seconds", "2", "--start-time", START,
                    "--pcap", str(path)], check=True)
    return path


def command_line_trajectory(capture, tmp_path, *options):
    tum, kitti = tmp_path / "t.txt", tmp_path / "k.txt"
    cli("odometry", "--pcap", capture, "--trajectory", tum, *options)
    cli("odometry", "--pcap", capture, "--trajectory", kitti, "--format", "kitti", *options)
    times = np.loadtxt(tum, ndmin=2)[:, 0]
    rows = np.loadtxt(kitti, ndmin=2).reshape(-1, 3, 4)
    return times, rows


@pytest.mark.parametrize("deskew", [True, False])
def test_odometry_equals_the_command_line(drive, tmp_path, deskew):
    times, rows = command_line_trajectory(drive, tmp_path, *([] if deskew else ["--no-deskew"]))
    trajectory = hvk32.odometry(drive, deskew=deskew)
    assert len(trajectory) == len(times) == trajectory.poses.shape[0]
    assert trajectory.poses.shape[1:] == (4, 4) and trajectory.poses.dtype == np.float64
    # The command line prints microseconds and nine significant digits.
    np.testing.assert_allclose(trajectory.times, times, rtol=0, atol=5e-7)
    np.testing.assert_allclose(trajectory.poses[:, :3, :], rows, rtol=2e-8, atol=1e-8)
    np.testing.assert_array_equal(trajectory.poses[:, 3, :], np.tile([0.0, 0.0, 0.0, 1.0], (len(times), 1)))
    np.testing.assert_array_equal(trajectory.poses[0], np.eye(4))


def test_odometry_refuses_what_open_refuses(tmp_path):
    """With open()'s exceptions and messages."""
    with pytest.raises(FileNotFoundError, match="missing.pcap: cannot open"):
        hvk32.odometry(tmp_path / "missing.pcap")
    text = tmp_path / "notes.pcap"
    text.write_text("not a capture at all, only some text\n")
    with pytest.raises(ValueError, match="notes.pcap: not a capture file"):
        hvk32.odometry(text)
