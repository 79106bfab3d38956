#!/usr/bin/env python3
"""Every #include of the program's sources points down a layer, never up or across:

    app  >  loadcheck  >  console, filecheck, osinfo  >  platform (its Windows side in win32/)  >  res

A subsystem includes only itself and what lies below it. The Windows side
implements the platform's headers; the headers never include the Windows side.
Within a layer, modules (a header and its source are one) never include each
other in a loop. Prints each include that breaks this, each loop, and the number
of includes checked; exits 1 when there is one.
"""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
LAYERS = {"app": 0, "loadcheck": 1, "console": 2, "filecheck": 2, "osinfo": 2, "platform": 3, "platform/win32": 3,
          "res": 4}
ALLOWED_ACROSS = {("platform/win32", "platform")}


def unit_of(path):
    """The layer unit a repository path belongs to, or None outside the program."""
    parts = Path(path).parts
    if parts[:1] == ("src",):
        parts = parts[1:]
    if parts[:2] == ("platform", "win32"):
        return "platform/win32"
    return parts[0] if parts and parts[0] in LAYERS else None


def module_of(path):
    """A module: its path inside src/, without the header's or the source's suffix."""
    parts = Path(path).parts
    return str(Path(*(parts[1:] if parts[:1] == ("src",) else parts)).with_suffix(""))


def loops(graph):
    """Each loop of the module graph once, as the modules along it."""
    found, state = [], {}

    def visit(module, path):
        state[module] = "open"
        for other in sorted(graph.get(module, ())):
            if state.get(other) == "open":
                found.append(path[path.index(other):] + [other])
            elif other not in state:
                visit(other, path + [other])
        state[module] = "done"

    for module in sorted(graph):
        if module not in state:
            visit(module, [module])
    return found


def main():
    faults, checked, graph = [], 0, {}
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
            mine, theirs = module_of(source.relative_to(ROOT)), module_of(match.group(1))
            if mine != theirs:
                graph.setdefault(mine, set()).add(theirs)
            if there is None or there == here or (here, there) in ALLOWED_ACROSS:
                continue
            if LAYERS[there] <= LAYERS[here]:
                faults.append(f"{source.relative_to(ROOT)}:{number}: {here} includes {match.group(1)} ({there})")
    faults += ["loop: " + " > ".join(loop) for loop in loops(graph)]
    print("\n".join(faults) if faults else f"layers: {checked} includes, all pointing down, no loop")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
