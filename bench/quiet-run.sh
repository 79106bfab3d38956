#!/usr/bin/env bash
# What an unattended run costs: Velmora.exe /quiet beside VelmoraQuietBaseline.exe,
# a program that does only the same WMI query, the Windows folder and the file read,
# each as a whole process under Wine (a warm, persistent wineserver), timed by
# hyperfine. Ends with the ratio of the medians; the goal is 1.2 or less.
#   bench/quiet-run.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-20}
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
rm -f "$results"
