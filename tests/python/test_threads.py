"""The module used from several threads at once, from the first call of a fresh interpreter on."""
import subprocess
import sys
import time

import hvk32

# Four threads that open the capture and read frames at the same moment, the module's very
# first frames in this interpreter; prints the points each thread read.
PROGRAM = """
import sys, threading
import hvk32
start = threading.Barrier(4)
points = [0] * 4

def read(k):
    start.wait()
    c = hvk32.open(sys.argv[1])
    points[k] = len(c[-1 - k]) + sum(len(f) for f in c[k:k + 2])

threads = [threading.Thread(target=read, args=(k,)) for k in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
print(*points)
"""


def test_fresh_interpreters_read_from_four_threads_at_once(captures):
    path = str(captures["dual"])
    c = hvk32.open(path)
    expected = " ".join(str(len(c[-1 - k]) + len(c[k]) + len(c[k + 1])) for k in range(4)) + "\n"
    children = [subprocess.Popen([sys.executable, "-c", PROGRAM, path], stdout=subprocess.PIPE, text=True)
                for _ in range(16)]
    # A deadlocked interpreter never ends: it is killed at the deadline and counted.
    deadline = time.monotonic() + 30
    outputs, hung = [], 0
    for child in children:
        try:
            outputs.append(child.communicate(timeout=max(0.1, deadline - time.monotonic()))[0])
        except subprocess.TimeoutExpired:
            child.kill()
            child.communicate()
            hung += 1
    assert hung == 0, f"{hung} of {len(children)} interpreters hung"
    assert all(child.returncode == 0 for child in children)
    assert outputs == [expected] * len(children)
