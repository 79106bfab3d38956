#!/usr/bin/env python3
"""Writes the smallest static i386 Linux program: it only exits with status 42.

    make_i386_probe.py OUTPUT

Run before anything 32-bit is installed, it tells whether this machine runs 32-bit
code at all (the kernel's IA-32 emulation): where it does not, the kernel refuses the
program and 32-bit Wine would be left broken. No 32-bit compiler is needed.
"""
import os
import struct
import sys

EXIT_STATUS = 42
LOAD_ADDRESS = 0x08048000
ELF_HEADER_SIZE = 52
PROGRAM_HEADER_SIZE = 32

# mov eax, 1 (exit); mov ebx, 42; int 0x80
CODE = bytes([0xB8, 1, 0, 0, 0, 0xBB, EXIT_STATUS, 0, 0, 0, 0xCD, 0x80])


def probe_bytes():
    entry = LOAD_ADDRESS + ELF_HEADER_SIZE + PROGRAM_HEADER_SIZE
    size = ELF_HEADER_SIZE + PROGRAM_HEADER_SIZE + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, version 1, System V
    elf_header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, ELF_HEADER_SIZE, 0, 0,  # EXEC, i386
                                     ELF_HEADER_SIZE, PROGRAM_HEADER_SIZE, 1, 0, 0, 0)
    load = struct.pack("<IIIIIIII", 1, 0, LOAD_ADDRESS, LOAD_ADDRESS, size, size, 5, 0x1000)  # PT_LOAD, R+X
    return elf_header + load + CODE


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(probe_bytes())
    os.chmod(sys.argv[1], 0o755)


if __name__ == "__main__":
    main()
