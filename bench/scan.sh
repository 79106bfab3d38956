#!/usr/bin/env bash
# What a scan of the machine costs, and how it grows: a synthetic machine under Wine
# with 1,000, 2,000 and 4,000 registered files (10 classes each; each file a DLL that
# needs five of Windows' own; one in 53 registered in a folder that is gone, one in 97
# damaged), each size timed as Velmora.exe /scan /quiet /json beside its floor
# (bench/ScanFloor.cpp: the same registry reads, and the first 64 KiB of each file),
# in the same prefix by the same harness. Then the scan of Wine's own registrations
# alone, which must end with every file loading.
#   bench/scan.sh [RUNS]
# Prints "files N: scan S s, floor F s, peak M MiB" per size, then "ratio 4000/1000: R".
# The bar: R at most 4.5; the scan at 4,000 files within 3x its floor, under 256 MiB.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-3}
cd "$root"
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}" python3

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc 2>/dev/null || echo 2)" --target Velmora VelmoraScanFloor >/dev/null

unset DISPLAY
source tools/wine-env.sh
trap velmora_wine_cleanup EXIT
trap 'exit 130' INT TERM
velmora_display
# A fresh machine each time: the registrations of a run before would stay in its registry.
rm -rf "$root/build/wineprefix-scan-bench"
velmora_wine_use "$root/build/wineprefix-scan-bench"
velmora_wine_keep_server

work=$(mktemp -d)
trap 'rm -rf "$work"; velmora_wine_cleanup' EXIT
x86_64-w64-mingw32-gcc-win32 -shared -nostdlib -O2 -s -Wl,-e,ScanBenchEntry -o "$work/bench.dll" \
  bench/ScanBenchDll.c -lkernel32 -luser32 -lgdi32 -ladvapi32 -lole32

python3 - "$runs" "$work" <<'PY'
import os, shutil, statistics, subprocess, sys, time
runs, work = int(sys.argv[1]), sys.argv[2]
wine, prefix = os.environ["WINE"], os.environ["WINEPREFIX"]
scan_dir = os.path.join(prefix, "drive_c", "scanbench")
shutil.rmtree(scan_dir, ignore_errors=True)
os.makedirs(scan_dir)
dll = open(os.path.join(work, "bench.dll"), "rb").read()
result = "C:\\scanbench\\result.json"

def run(command):
    """Wall time and peak memory (MiB) of one run, as its own process."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    return time.perf_counter() - start, usage.ru_maxrss / 1024, os.waitstatus_to_exitcode(status)

def register(first, last):
    """Files first..last-1: their DLLs and a .reg of their classes, imported."""
    lines = ["REGEDIT4", ""]
    for index in range(first, last):
        gone = index % 53 == 0
        path = f"C:\\scanbench\\{'gone' if gone else 'here'}\\f{index:05}.dll"
        if not gone:
            os.makedirs(os.path.join(scan_dir, "here"), exist_ok=True)
            with open(os.path.join(scan_dir, "here", f"f{index:05}.dll"), "wb") as out:
                out.write(dll[:600] if index % 97 == 1 else dll)
        for cls in range(10):
            key = f"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{{B5CA0000-0000-0000-{cls:04X}-{index:012X}}}"
            lines += [f"[{key}\\InprocServer32]", '@="' + path.replace("\\", "\\\\") + '"',
                      '"ThreadingModel"="Both"', ""]
    reg = os.path.join(scan_dir, "classes.reg")
    open(reg, "w", newline="\r\n").write("\n".join(lines))
    subprocess.run([wine, "regedit", "/S", "C:\\scanbench\\classes.reg"], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The server saves a changed registry every 30 s, holding every call meanwhile: it
    # is saved now, by a restart, so that no timed run waits for it.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["python3", "tools/wine.py", "stop-server"], check=True, **quiet)
    subprocess.run(["python3", "tools/wine.py", "keep-server"], check=True, **quiet)
    run([wine, "build/win64/VelmoraScanFloor.exe"])  # Wine's services up again, untimed

def measure(label):
    scans, floors, peak = [], [], 0.0
    for _ in range(runs):
        seconds, mib, code = run([wine, "build/win64/Velmora.exe", "/scan", "/quiet", "/timeout", "3600",
                                  "/json", result])
        if code not in (0, 1):
            sys.exit(f"the scan ended with {code}")
        scans.append(seconds)
        peak = max(peak, mib)
        floors.append(run([wine, "build/win64/VelmoraScanFloor.exe"])[0])
    scan, floor = statistics.median(scans), statistics.median(floors)
    print(f"{label}: scan {scan:.2f} s, floor {floor:.2f} s, peak {peak:.0f} MiB", flush=True)
    return scan, floor, peak

# Wine's own registrations alone: every file must load.
measure("Wine's own files")
import json
scanned = json.load(open(os.path.join(scan_dir, "result.json"), encoding="utf-8"))["scan"]
print(f"  {scanned['counts']}; complete: {scanned['complete']}")
if not scanned["complete"] or scanned["counts"]["load"] != scanned["counts"]["files"]:
    sys.exit("not every one of Wine's own files loads")

times = {}
registered = 0
for size in (1000, 2000, 4000):
    register(registered, size)
    registered = size
    times[size] = measure(f"files {size}")
ratio = times[4000][0] / times[1000][0]
print(f"ratio 4000/1000: {ratio:.2f}")
scan, floor, peak = times[4000]
ok = ratio <= 4.5 and scan <= 3 * floor and peak < 256
print(f"bar (ratio <= 4.5; scan at 4000 within 3x its floor, {scan / floor:.2f}x; under 256 MiB): "
      f"{'met' if ok else 'NOT met'}")
PY
