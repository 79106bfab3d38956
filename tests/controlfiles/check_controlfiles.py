#!/usr/bin/env python3
"""Check the stand-in MsComCtl.OCX files against their manifest, on the build host.

    check_controlfiles.py DIR/expected.txt

For each variant: the file exists or not as listed, has the listed size, its
CRC-32 (zlib.crc32) is the listed one, and the fixed file version in its PE
version resource (RT_VERSION, read by walking the PE resource directory) is the
listed one, or it has no version resource when the listed version is empty.

Standard library only.  Exit status 0 when every variant matches, 1 otherwise.
"""

import os
import struct
import sys
import zlib

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD


class NotPE(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def version_resource(data):
    """Bytes of the first RT_VERSION resource, or None when the image has none."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise NotPE("no MZ header")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise NotPE("no PE signature")
    coff = pe + 4
    sections = u16(data, coff + 2)
    opt_size = u16(data, coff + 16)
    opt = coff + 20
    magic = u16(data, opt)
    if magic == 0x10B:
        count_at, dirs_at = opt + 92, opt + 96
    elif magic == 0x20B:
        count_at, dirs_at = opt + 108, opt + 112
    else:
        raise NotPE("unknown optional header magic %#x" % magic)
    if u32(data, count_at) <= 2:
        return None
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, dirs_at + 2 * 8)
    if rsrc_rva == 0 or rsrc_size == 0:
        return None

    table = opt + opt_size
    spans = []
    for i in range(sections):
        s = table + 40 * i
        vsize, vaddr, rsize, roff = struct.unpack_from("<IIII", data, s + 8)
        spans.append((vaddr, max(vsize, rsize), roff, rsize))

    def file_offset(rva):
        for vaddr, span, roff, rsize in spans:
            if vaddr <= rva < vaddr + span:
                if rva - vaddr >= rsize:
                    raise NotPE("RVA %#x lies in uninitialised data" % rva)
                return roff + (rva - vaddr)
        raise NotPE("RVA %#x lies in no section" % rva)

    root = file_offset(rsrc_rva)

    def entries(directory):
        named, ids = u16(data, directory + 12), u16(data, directory + 14)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            yield name, target

    def subdir(target):
        if not target & 0x80000000:
            raise NotPE("resource tree too shallow")
        return root + (target & 0x7FFFFFFF)

    for type_id, target in entries(root):
        if type_id & 0x80000000 or type_id != RT_VERSION:
            continue
        for _, name_target in entries(subdir(target)):
            for _, lang_target in entries(subdir(name_target)):
                if lang_target & 0x80000000:
                    raise NotPE("resource tree too deep")
                data_rva, data_size = struct.unpack_from("<II", data, root + lang_target)
                start = file_offset(data_rva)
                return data[start:start + data_size]
    return None


def fixed_versions(block):
    """(file version text, product version text) of a VS_VERSIONINFO block."""
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    if block[6:6 + len(key)] != key:
        raise NotPE("version resource without the VS_VERSION_INFO key")
    value_length = u16(block, 2)
    at = (6 + len(key) + 3) & ~3
    if value_length < 52 or len(block) < at + 52:
        return "", ""
    if u32(block, at) != FIXED_SIGNATURE:
        raise NotPE("VS_FIXEDFILEINFO signature missing")
    fms, fls, pms, pls = struct.unpack_from("<IIII", block, at + 8)

    def text(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    return text(fms, fls), text(pms, pls)


def check(base, row):
    variant, rel, exists, version, crc, size, valid, _typelib = row
    path = os.path.join(base, rel)
    problems = []
    if exists == "0":
        if os.path.exists(path):
            problems.append("exists but should not")
        return problems, "absent"
    if not os.path.isfile(path):
        return ["missing"], "absent"
    with open(path, "rb") as f:
        data = f.read()
    got_crc = "%08X" % zlib.crc32(data)
    if got_crc != crc:
        problems.append("CRC-32 %s, expected %s" % (got_crc, crc))
    if size != "-" and len(data) != int(size):
        problems.append("%d bytes, expected %s" % (len(data), size))
    got_version, got_product = "", ""
    if data:
        try:
            block = version_resource(data)
            if block is not None:
                got_version, got_product = fixed_versions(block)
        except (NotPE, struct.error) as e:
            problems.append("unreadable PE image: %s" % e)
    if got_version != version:
        problems.append("version %r, expected %r" % (got_version, version))
    summary = "%d bytes, CRC-32 %s, version %r, product version %r" % (
        len(data), got_crc, got_version, got_product)
    return problems, summary


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    manifest = argv[0]
    base = os.path.dirname(os.path.abspath(manifest))
    rows = []
    with open(manifest, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 8:
                print("%s: bad line: %r" % (manifest, line), file=sys.stderr)
                return 1
            rows.append(fields)
    if not rows:
        print("%s: no variants" % manifest, file=sys.stderr)
        return 1
    failed = 0
    for row in rows:
        problems, summary = check(base, row)
        if problems:
            failed += 1
            print("FAIL %-22s %s" % (row[0], "; ".join(problems)))
        else:
            print("ok   %-22s %s" % (row[0], summary))
    print("%d of %d control files as expected" % (len(rows) - failed, len(rows)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
