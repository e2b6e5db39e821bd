"""hvk32.listen(): frames from the simulator on loopback, and receivers that stop with the loop."""
import os
import signal
import socket
import subprocess
import sys
import time

import pytest

import hvk32
from conftest import SIM


def free_ports(n):
    """UDP ports nobody uses right now, chosen by the system."""
    sockets = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(n)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def threads():
    return len(os.listdir("/proc/self/task"))


def threads_settle_at(count):
    """Whether the process is back to `count` threads: a joined thread may take a moment to
    leave the system's list after it has returned."""
    for _ in range(100):
        if threads() == count:
            return True
        time.sleep(0.02)
    return False


@pytest.fixture
def simulator():
    data, telemetry = free_ports(2)
    sim = subprocess.Popen([SIM, "--quiet", "--rpm", "1200", "--echo", "dual", "--host", "127.0.0.1",
                            "--data-port", str(data), "--telemetry-port", str(telemetry),
                            "--device-ip", "127.0.0.27"])
    yield data, telemetry
    sim.terminate()
    sim.wait(timeout=10)


def test_live_frames_until_the_loop_is_left(simulator):
    data, telemetry = simulator
    before = threads()
    numbers = []
    for frame in hvk32.listen(data_port=data, telemetry_port=telemetry, timeout=10):
        assert len(frame) > 1000 and frame.xyz.shape == (len(frame), 3)
        assert set(frame.return_index.tolist()) == {0, 1}  # the simulator's dual echo
        numbers.append(frame.number)
        if len(numbers) == 3:
            break
    assert numbers == [1, 2, 3]
    # Leaving the loop dropped the stream: both receiver threads are joined.
    assert threads_settle_at(before)


def test_silence_times_out():
    data, telemetry = free_ports(2)
    with pytest.raises(TimeoutError, match=f"device-info packet .* on UDP port {telemetry} within 0.3 s"):
        next(hvk32.listen(data_port=data, telemetry_port=telemetry, timeout=0.3))


def test_ctrl_c_stops_the_receivers():
    data, telemetry = free_ports(2)
    program = f"""
import os, time, hvk32
before = len(os.listdir("/proc/self/task"))
try:
    stream = hvk32.listen(data_port={data}, telemetry_port={telemetry})
    print("listening", flush=True)
    next(stream)
except KeyboardInterrupt:
    for _ in range(100):
        if len(os.listdir("/proc/self/task")) == before:
            break
        time.sleep(0.02)
    print("interrupted", len(os.listdir("/proc/self/task")) - before, flush=True)
"""
    child = subprocess.Popen([sys.executable, "-c", program], stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "listening\n"
    time.sleep(0.3)
    child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=10)
    # The stream object is still referenced, yet its receivers have stopped: no thread is left.
    assert out == "interrupted 0\n" and child.returncode == 0
