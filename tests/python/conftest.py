"""Captures made by the simulator and the command line's outputs for them, shared by the tests."""
import json
import os
import subprocess

import pytest

CLI = os.path.abspath(os.environ["HVK32_CLI"])
SIM = os.path.abspath(os.environ["HVK32_SIM"])
START = "2026-03-05T10:00:00"


def cli(*args, **kwargs):
    """Runs hvk32-cli; returns the finished process (stdout and stderr as text)."""
    return subprocess.run([CLI, *map(str, args)], check=True, capture_output=True, text=True, **kwargs)


def make_capture(path, seconds, rpm, echo, loss=0):
    subprocess.run([SIM, "--quiet", "--pcap", str(path), "--seconds", str(seconds), "--rpm", str(rpm),
                    "--echo", echo, "--start-time", START, "--loss", str(loss)], check=True)
    return path


@pytest.fixture(scope="session")
def captures(tmp_path_factory):
    """A single-echo capture with lost packets and a dual-echo one, each of some 20 frames."""
    d = tmp_path_factory.mktemp("captures")
    return {
        "single": make_capture(d / "single.pcap", 2, 600, "single", loss=1),
        "dual": make_capture(d / "dual.pcap", 1, 1200, "dual"),
    }


def info_summary(path):
    return json.loads(cli("info", "--pcap", path, "--summary").stdout)


def exported_points(path, *options):
    """The points 'hvk32-cli export' reports for a LAS export (returns of distance 0 left out)."""
    out = str(path) + ".las"
    summary = cli("export", "--pcap", path, "--las", out, *options).stderr.splitlines()[-1]
    os.remove(out)
    return int(summary.split(", ")[1].split(" ")[0].replace(",", ""))
