"""hvk32.open looks at a path before it opens it: a FIFO would hold open() until a writer came."""
import os

import pytest

import hvk32


@pytest.mark.parametrize("make, error, says", [
    (os.mkfifo, ValueError, "a FIFO \\(named pipe\\), not a capture file"),
    (os.mkdir, IsADirectoryError, "a folder, not a capture file"),
])
def test_open_refuses_what_is_not_a_file(tmp_path, make, error, says):
    path = tmp_path / "capture.pcap"
    make(path)
    with pytest.raises(error, match=says):
        hvk32.open(str(path))
