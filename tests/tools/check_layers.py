#!/usr/bin/env python3
"""Every #include of the program's sources points down a layer, never up or across:

    app  >  console, filecheck, osinfo  >  platform (its Windows side in win32/)  >  res

A subsystem includes only itself and what lies below it. The Windows side
implements the platform's headers; the headers never include the Windows side. Prints each include that
breaks this, and the number of includes checked; exits 1 when one does.
"""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
LAYERS = {"app": 0, "console": 1, "filecheck": 1, "osinfo": 1, "platform": 2, "platform/win32": 2, "res": 3}
ALLOWED_ACROSS = {("platform/win32", "platform")}


def unit_of(path):
    """The layer unit a repository path belongs to, or None outside the program."""
    parts = Path(path).parts
    if parts[:1] == ("src",):
        parts = parts[1:]
    if parts[:2] == ("platform", "win32"):
        return "platform/win32"
    return parts[0] if parts and parts[0] in LAYERS else None


def main():
    faults, checked = [], 0
    for source in sorted((ROOT / "src").rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        here = unit_of(source.relative_to(ROOT))
        for number, line in enumerate(source.read_text().splitlines(), 1):
            match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not match:
                continue
            there = unit_of(match.group(1))
            checked += 1
            if there is None or there == here or (here, there) in ALLOWED_ACROSS:
                continue
            if LAYERS[there] <= LAYERS[here]:
                faults.append(f"{source.relative_to(ROOT)}:{number}: {here} includes {match.group(1)} ({there})")
    print("\n".join(faults) if faults else f"layers: {checked} includes, all pointing down")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
