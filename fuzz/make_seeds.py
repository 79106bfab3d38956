#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<Target>/.

Each input follows the layout its target reads (see the comment at the top of each
fuzz/<Target>.cpp). Run it again after changing a layout; fuzz.sh never changes the
corpus (it fuzzes a copy).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def kernel_record(major, minor, build, sp_major=0, sp_minor=0, suite=0, product=1, csd=""):
    record = bytearray(284)
    struct.pack_into("<5I", record, 0, 284, major, minor, build, 2)
    text = csd.encode("utf-16-le")
    record[20:20 + len(text)] = text
    struct.pack_into("<HHHB", record, 276, sp_major, sp_minor, suite, product)
    return bytes(record)


# --- ReportValueFuzz: one tagged value, then the machine ------------------------------------------
EMPTY, NULL, TEXT, I16, I32, BOOL, DATE, I64, DOUBLE = range(9)
NAMES = ["Version", "BootDevice", "BuildNumber", "BuildType", "Caption", "CodeSet", "CountryCode", "Debug",
         "EncryptionLevel", "InstallDate", "Organization", "OSLanguage", "OSProductSuite",
         "ServicePackMajorVersion", "ServicePackMinorVersion", "OSType", "Primary", "NumberOfLicensedUsers",
         "RegisteredUser", "SerialNumber", "OSArchitecture", "SystemType"]


def text(value, width=1):
    units = value.encode("latin-1") if width == 1 else value.encode("utf-16-le")
    return bytes([TEXT, len(value), 0 if width == 1 else 1]) + units


def machine(version_ex, record, converter, systems, computers, flags=0):
    major, minor, build, platform = version_ex
    out = bytes([major, minor]) + struct.pack("<H", build) + bytes([platform, 0]) + record + bytes([0])
    out += bytes([1]) + converter if converter is not None else bytes([0])
    out += instances(systems) + bytes([flags]) + instances(computers)
    return out


def instances(items):
    """items: a list of (typical, [(name, value bytes or None to erase)])."""
    out = bytes([len(items)])
    for typical, changes in items:
        out += bytes([1 if typical else 0, len(changes)])
        for name, value in changes:
            out += bytes([NAMES.index(name), 3 if value is None else 0]) + (value or b"")
    return out


def report_value():
    windows11 = kernel_record(10, 0, 22631, suite=0x100)
    windows7 = kernel_record(6, 1, 7601, 1, 0, 0x100)
    computers = [(False, [("SystemType", text("x64-based PC"))])]
    date = bytes([DATE]) + struct.pack("<d", 43894.5522685185)
    write("ReportValueFuzz", "windows-11", text("12") + machine((6, 2, 9200, 2), windows11, None, [(True, [])],
                                                                computers))
    write("ReportValueFuzz", "windows-7", bytes([NULL]) +
          machine((6, 1, 7601, 2), windows7, date,
                  [(True, [("Version", text("6.1.7601")), ("BuildNumber", text("7601")),
                           ("Caption", text("Microsoft Windows 7 Professional"))])], computers))
    write("ReportValueFuzz", "windows-xp", text(" TRUE ") +
          machine((5, 1, 2600, 2), kernel_record(5, 1, 2600, 3, 0, 0x100), None,
                  [(True, [("Version", text("5.1.2600")), ("Caption", text("Microsoft Windows XP Professional")),
                           ("BuildNumber", text("2600")), ("OSArchitecture", None),
                           ("InstallDate", text("20080414120000.000000-300"))])],
                  [(False, [("SystemType", text("X86-based PC"))])]))
    write("ReportValueFuzz", "no-instances", text("-32768") + machine((6, 2, 9200, 2), windows11, None, [], []))
    write("ReportValueFuzz", "int16", bytes([I16]) + struct.pack("<h", -1))
    write("ReportValueFuzz", "int32", bytes([I32]) + struct.pack("<i", 70000))
    write("ReportValueFuzz", "int64", bytes([I64]) + struct.pack("<q", -(2 ** 63)))
    write("ReportValueFuzz", "double-nan", bytes([DOUBLE]) + struct.pack("<d", float("nan")))
    write("ReportValueFuzz", "double-inf", bytes([DOUBLE]) + struct.pack("<d", float("-inf")))
    write("ReportValueFuzz", "date", date)
    write("ReportValueFuzz", "utf16-surrogates", bytes([TEXT, 4, 1]) + struct.pack("<4H", 0xD83D, 0xDE00, 0, 0x31))
    write("ReportValueFuzz", "bool", bytes([BOOL, 1]))
    write("ReportValueFuzz", "empty", bytes([EMPTY]))


# --- TypeLibraryFuzz: files as linkers make them --------------------------------------------

def linker_made():
    """DLLs the loader's layouts hold (tests/win32/layouts), as the MinGW linkers made
    them, PE32+ and PE32: import and delay-import tables, exports by name and ordinal,
    a DLL manifest. Taken from the Windows builds where they were built."""
    root = os.path.dirname(HERE)
    for build, bits in (("win64", "pe32plus"), ("win32", "pe32")):
        layouts = os.path.join(root, "build", build, "tests", "win32", "layouts")
        for name in ("dep", "ctl_merge", "ctl_noassembly", "ctl_export_ordinal"):
            path = os.path.join(layouts, name + ".dll")
            if os.path.exists(path):
                write("TypeLibraryFuzz", f"{name}-{bits}", open(path, "rb").read())


# --- RegisteredValueFuzz: a flags byte, then the value's text in UTF-16LE ------------------------

def registered_value():
    """Values as installers write them, and the kinds a scan must refuse."""
    for name, flags, text in [
        ("class-system32", 0, "C:\\Windows\\System32\\x.dll"),
        ("class-expandable-32", 4, "%ProgramFiles%\\A\\x.ocx"),
        ("class-quoted", 2, '"C:\\A\\x.dll"'),
        ("class-bare", 0, "ole32"),
        ("class-unc-prefix", 0, "\\\\?\\UNC\\server\\share\\x.dll"),
        ("class-device", 0, "C:\\A\\COM1.dll"),
        ("library-resource", 1, "C:\\A\\x.dll\\3"),
        ("not-text", 8, ""),
    ]:
        write("RegisteredValueFuzz", name, bytes([flags]) + text.encode("utf-16-le"))


if __name__ == "__main__":
    report_value()
    linker_made()
    registered_value()
