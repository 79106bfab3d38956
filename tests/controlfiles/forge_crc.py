#!/usr/bin/env python3
"""Append four bytes to a file so that its whole CRC-32 becomes a chosen value.

    forge_crc.py INPUT TARGET_HEX OUTPUT [--size N]

CRC-32 (ISO-HDLC, as zlib.crc32 computes it) is affine over GF(2): for a fixed
prefix, the CRC of prefix + X, with X a 32-bit tail, is  C0 xor M*X  for a 32x32
bit matrix M, and M is invertible.  The tool measures C0 and the 32 columns of M
with zlib itself, solves for X and appends it.  The result is checked again with
zlib.crc32 over the whole output; any difference is an error and no output is left.

--size N makes the output exactly N bytes: the input, then a fixed pseudo-random
filler (not zeros, so that a reader that reuses a stale buffer gets a different
CRC), then the four forged bytes.

Bytes after the end of a PE image (an "overlay") are not part of any section, so
the version resource and everything else the loader reads stay as they were.

Standard library only.
"""

import argparse
import hashlib
import os
import sys
import tempfile
import zlib

TAIL = 4


def filler(count):
    """count bytes of a fixed, reproducible pseudo-random stream."""
    out = bytearray()
    block = 0
    while len(out) < count:
        out += hashlib.sha256(b"velmora-controlfile-filler:%d" % block).digest()
        block += 1
    return bytes(out[:count])


def solve_tail(prefix_crc, target):
    """The 4 bytes X with zlib.crc32(X, prefix_crc) == target."""
    base = zlib.crc32(b"\0" * TAIL, prefix_crc)
    # Column j of M: what flipping bit j of X does to the CRC.
    columns = []
    for bit in range(8 * TAIL):
        probe = (1 << bit).to_bytes(TAIL, "little")
        columns.append(zlib.crc32(probe, prefix_crc) ^ base)
    want = target ^ base

    # Gauss-Jordan over GF(2) on the 32 equations (rows = CRC bits).  Each row
    # holds 32 coefficient bits plus the right-hand side in bit 32.
    rows = []
    for r in range(32):
        coeffs = 0
        for j, col in enumerate(columns):
            if (col >> r) & 1:
                coeffs |= 1 << j
        rows.append(coeffs | (((want >> r) & 1) << 32))
    pivot_row = 0
    pivots = []
    for j in range(32):
        found = None
        for r in range(pivot_row, 32):
            if (rows[r] >> j) & 1:
                found = r
                break
        if found is None:
            continue
        rows[pivot_row], rows[found] = rows[found], rows[pivot_row]
        for r in range(32):
            if r != pivot_row and (rows[r] >> j) & 1:
                rows[r] ^= rows[pivot_row]
        pivots.append(j)
        pivot_row += 1
    if pivot_row != 32:
        raise RuntimeError("the CRC-32 tail system is singular (rank %d)" % pivot_row)
    x = 0
    for r, j in enumerate(pivots):
        if (rows[r] >> 32) & 1:
            x |= 1 << j
    return x.to_bytes(TAIL, "little")


def forge(data, target, size=None):
    if size is not None:
        if size < len(data) + TAIL:
            raise ValueError("--size %d is smaller than the input (%d bytes) plus %d"
                             % (size, len(data), TAIL))
        data = data + filler(size - len(data) - TAIL)
    tail = solve_tail(zlib.crc32(data), target)
    return data + tail


def parse_target(text):
    text = text.strip()
    if text[:2].lower() == "0x":
        text = text[2:]
    if not 1 <= len(text) <= 8:
        raise argparse.ArgumentTypeError("expected up to 8 hexadecimal digits: %r" % text)
    try:
        return int(text, 16)
    except ValueError:
        raise argparse.ArgumentTypeError("not hexadecimal: %r" % text) from None


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("input")
    parser.add_argument("target", type=parse_target, help="CRC-32 wanted, hexadecimal (e.g. B97FD45E)")
    parser.add_argument("output")
    parser.add_argument("--size", type=int, default=None, help="exact size of the output in bytes")
    args = parser.parse_args(argv)

    with open(args.input, "rb") as f:
        data = f.read()
    try:
        result = forge(data, args.target, args.size)
    except (ValueError, RuntimeError) as e:
        print("forge_crc: %s" % e, file=sys.stderr)
        return 1

    got = zlib.crc32(result)
    if got != args.target:
        print("forge_crc: FAILED: CRC-32 of the result is %08X, wanted %08X" % (got, args.target),
              file=sys.stderr)
        return 1
    if result[:len(data)] != data:
        print("forge_crc: FAILED: the input bytes were changed", file=sys.stderr)
        return 1
    if args.size is not None and len(result) != args.size:
        print("forge_crc: FAILED: %d bytes written, wanted %d" % (len(result), args.size), file=sys.stderr)
        return 1

    out_dir = os.path.dirname(os.path.abspath(args.output))
    os.makedirs(out_dir, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".forge_crc.", dir=out_dir)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(result)
        with open(tmp, "rb") as f:
            written = f.read()
        if zlib.crc32(written) != args.target or written != result:
            print("forge_crc: FAILED: the file written back does not read %08X" % args.target,
                  file=sys.stderr)
            return 1
        # mkstemp makes the file private; give it the usual mode of a new file.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(tmp, 0o666 & ~umask)
        os.replace(tmp, args.output)
        tmp = None
    finally:
        if tmp is not None and os.path.exists(tmp):
            os.unlink(tmp)
    print("forge_crc: %s: %d bytes, CRC-32 %08X" % (args.output, len(result), args.target))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
