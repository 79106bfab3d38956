#!/usr/bin/env bash
# What an unattended run costs: Velmora.exe /quiet beside VelmoraQuietBaseline.exe,
# a program that does only the same WMI query, the Windows folder and the file read,
# each as a whole process under Wine (a warm, persistent wineserver), timed by
# hyperfine. Ends with the ratio of the medians; the goal is 1.2 or less. Then the
# whole diagnosis: /quiet /json of a control with a type library and ten DLLs it
# needs (bench/BenchControl.c), beside another Velmora.exe where one is given.
#   bench/quiet-run.sh [RUNS [OTHER_VELMORA_EXE]]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-20}
other=${2:-}
cd "$root"
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}" hyperfine python3

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc 2>/dev/null || echo 2)" \
  --target Velmora VelmoraQuietBaseline velmora_controlfiles >/dev/null

# No display: a quiet run opens no window.
unset DISPLAY
source tools/wine-env.sh
trap velmora_wine_cleanup EXIT
trap 'exit 130' INT TERM
velmora_display
velmora_wine_use "$root/build/wineprefix-bench"
velmora_wine_keep_server  # neither program pays for starting it
cp build/win64/controlfiles/valid/MsComCtl.OCX "$WINEPREFIX/drive_c/windows/syswow64/MsComCtl.OCX"

results=$(mktemp)
hyperfine -N --warmup 3 --runs "$runs" --export-json "$results" \
  "$WINE build/win64/Velmora.exe /quiet" "$WINE build/win64/VelmoraQuietBaseline.exe"
python3 - "$results" <<'PY'
import json, sys
velmora, baseline = (r["median"] for r in json.load(open(sys.argv[1]))["results"])
print(f"quiet run vs baseline: {velmora * 1000:.0f} ms vs {baseline * 1000:.0f} ms median, "
      f"ratio {velmora / baseline:.2f}x (goal: 1.2x or less)")
PY

# The control with its type library and ten DLLs. It is 64-bit, so its DLLs are found and
# their exports read on a machine whose Wine runs no 32-bit code (its SysWOW64 is empty).
bench=$WINEPREFIX/drive_c/bench
mkdir -p "$bench"
x86_64-w64-mingw32-windres -DCONTROL_FV_MAJOR=1 -DCONTROL_FV_MINOR=0 -DCONTROL_FV_BUILD=0 -DCONTROL_FV_REVISION=0 \
  -DCONTROL_PV_MAJOR=1 -DCONTROL_PV_MINOR=0 -DCONTROL_PV_BUILD=0 -DCONTROL_PV_REVISION=0 -DCONTROL_FV_TEXT=1.0.0.0 \
  -DCONTROL_PV_TEXT=1.0.0.0 -DCONTROL_TYPELIB=1 -I build/win64/tests/controlfiles/dll \
  tests/controlfiles/ControlDll.rc -o "$bench/control.res.o"
x86_64-w64-mingw32-gcc-win32 -shared -nostdlib -O2 -s -Wl,-e,ControlDllEntry -o "$bench/Grid.ocx" \
  bench/BenchControl.c "$bench/control.res.o" -lkernel32 -luser32 -lgdi32 -ladvapi32 -lole32 -loleaut32 -lshell32 \
  -lcomctl32 -lcomdlg32 -lversion
commands=("$WINE build/win64/Velmora.exe /quiet /json C:\\bench\\result.json /control C:\\bench\\Grid.ocx")
[ -z "$other" ] || commands+=("$WINE $other /quiet /json C:\\bench\\result.json /control C:\\bench\\Grid.ocx")
hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$results" "${commands[@]}"
python3 - "$results" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(f"a control with its type library and ten DLLs: {r['median'] * 1000:.0f} ms median ({r['command'].split()[1]})")
PY
rm -f "$results"
