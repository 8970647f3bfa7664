#!/usr/bin/env python3
"""Writes .tqz files whose header counts the blocks cannot back, and a well-formed
file of the same size made only of runs, for the decoder's size checks.

  make_count_files.py DIR          the two refused files (kept in tests/codec/data)
  make_count_files.py DIR --legit  also runs-4096.tqz, a 4096 x 4096 black picture
                                   coded as 65,536 runs (a file the decoder accepts)
"""
import struct
import sys


def header(width, height, bits_per_pixel, depth, symbols, values, value_bits):
    return (b"TQZ" + struct.pack("<HHBB", width, height, bits_per_pixel, depth)
            + struct.pack("<3I", symbols, 0, 0) + struct.pack("<3I", values, 0, 0)
            + bytes([value_bits]))


def wrapped_values(side):
    """Grey, depth 0, 8 value bits, every symbol a ZeroRun (bytes 0x55), and a value
    count of 2^29 whose block size 2^29 * 8 bits wraps to 0 bytes."""
    symbols = side * side // 256
    return (header(side, side, 8, 0, symbols, 0x20000000, 8)
            + struct.pack("<2d", 1.0, 1.0) + b"\x55" * (symbols // 4))


def runs_4096():
    """4096 x 4096 zeros: 65,535 runs of 256, one run of 255, then one Zero."""
    symbols = [1] * 65536 + [0]
    values = [255] * 65535 + [254]
    packed = bytearray((len(symbols) + 3) // 4)
    for j, s in enumerate(symbols):
        packed[j // 4] |= s << (2 * (j % 4))
    return (header(4096, 4096, 8, 0, len(symbols), len(values), 8)
            + struct.pack("<2d", 1.0, 1.0) + bytes(packed) + bytes(values))


def main():
    out = sys.argv[1]
    files = {"wrapped-values-4096.tqz": wrapped_values(4096),
             "wrapped-values-16384.tqz": wrapped_values(16384)}
    if "--legit" in sys.argv[2:]:
        files["runs-4096.tqz"] = runs_4096()
    for name, data in files.items():
        with open(f"{out}/{name}", "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
