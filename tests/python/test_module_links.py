"""The module is built on the decoding and conversion libraries alone: it writes no file, so the
compression libraries of the MCAP writer are neither among its needed libraries nor linked in."""
import subprocess

import hvk32

WRITER_LIBRARIES = ("libzstd", "liblz4", "libz.so")
WRITER_SYMBOL_PREFIXES = ("ZSTD_", "LZ4", "crc32", "deflate", "compress")


def test_module_needs_no_writer_libraries():
    dynamic = subprocess.run(["readelf", "-d", hvk32.__file__], check=True, capture_output=True, text=True).stdout
    needed = [line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines() if "(NEEDED)" in line]
    assert needed, dynamic
    assert [n for n in needed if n.startswith(WRITER_LIBRARIES)] == []
    symbols = subprocess.run(["nm", "-D", "--defined-only", hvk32.__file__], check=True, capture_output=True,
                             text=True).stdout.split()
    symbols += subprocess.run(["nm", "-D", "--undefined-only", hvk32.__file__], check=True, capture_output=True,
                              text=True).stdout.split()
    assert [s for s in symbols if s.startswith(WRITER_SYMBOL_PREFIXES)] == []
