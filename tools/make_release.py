#!/usr/bin/env python3
"""Writes the release package: both executables, README.md, the support person's
guide README.txt (with CRLF line ends, for Notepad), LICENSE and SHA256SUMS.

The archive is reproducible: entries in a fixed order, a fixed time stamp and
fixed permissions, so two builds of one commit give the same bytes.
"""
import argparse
import hashlib
import pathlib
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)


def entry(name, data):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so the permissions below are read as such
    info.external_attr = 0o644 << 16
    return info, data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--win32", required=True, type=pathlib.Path)
    parser.add_argument("--win64", required=True, type=pathlib.Path)
    parser.add_argument("--source", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()

    files = [
        ("win32/Velmora.exe", args.win32.read_bytes()),
        ("win64/Velmora.exe", args.win64.read_bytes()),
        ("README.md", (args.source / "README.md").read_bytes()),
        ("README.txt", (args.source / "res" / "README.txt").read_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")),
        ("LICENSE", (args.source / "LICENSE").read_bytes()),
    ]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    files.append(("SHA256SUMS", sums.encode()))

    args.out.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(args.out, "w") as archive:
        for name, data in files:
            info, payload = entry(name, data)
            archive.writestr(info, payload, compresslevel=9)


if __name__ == "__main__":
    main()
