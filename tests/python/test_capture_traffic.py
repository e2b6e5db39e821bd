"""hvk32.open() on captures of real networks: VLAN-tagged frames, and captures without a frame."""
import struct

import numpy as np
import pytest

import hvk32


def records(data):
    """The (header, frame) pairs of a little-endian capture after its file header."""
    at = 24
    while at + 16 <= len(data):
        captured = struct.unpack_from("<I", data, at + 8)[0]
        yield data[at:at + 16], data[at + 16:at + 16 + captured]
        at += 16 + captured


def capture(file_header, frames):
    out = bytearray(file_header)
    for seconds, frame in frames:
        out += struct.pack("<IIII", seconds, 0, len(frame), len(frame)) + frame
    return bytes(out)


def test_vlan_tagged_capture_plays_as_the_plain_one(captures, tmp_path):
    plain = captures["dual"].read_bytes()
    tagged = bytearray(plain[:24])
    for header, frame in records(plain):
        # An 802.1Q tag (VLAN 7) between the hardware addresses and the EtherType.
        frame = frame[:12] + b"\x81\x00\x00\x07" + frame[12:]
        tagged += header[:8] + struct.pack("<II", len(frame), len(frame)) + frame
    path = tmp_path / "tagged.pcap"
    path.write_bytes(bytes(tagged))
    with hvk32.open(captures["dual"]) as a, hvk32.open(path) as b:
        assert len(a) == len(b) > 10
        for k in (0, len(a) // 2, -1):
            np.testing.assert_array_equal(a[k].xyz, b[k].xyz)
            np.testing.assert_array_equal(a[k].time, b[k].time)


def test_capture_without_a_frame_is_a_value_error(tmp_path):
    header = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    # DNS-sized UDP datagrams, 127.0.0.1 to 127.0.0.2: 1,005 records of other traffic.
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + 8 + 40, 0, 0x4000, 64, 17, 0, bytes([127, 0, 0, 1]),
                     bytes([127, 0, 0, 2]))
    frame = bytes(12) + b"\x08\x00" + ip + struct.pack("!HHHH", 5353, 53, 48, 0) + bytes(40)
    path = tmp_path / "other.pcap"
    path.write_bytes(capture(header, [(1_700_000_000 + k, frame) for k in range(1005)]))
    with pytest.raises(ValueError, match="no frame to play: 1,005 records, none of them the scanner's UDP datagrams"):
        hvk32.open(path)
