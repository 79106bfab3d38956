#!/usr/bin/env bash
# The program's own cost in a full run under Wine: the time from its console
# opening to the exit prompt, less the four progress bars, as the end-to-end
# harness sees it. Prints each run and the median.
#   tests/e2e/measure_run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
runs=${2:-7}

unset DISPLAY
source "$root/tools/wine-env.sh"
trap velmora_wine_cleanup EXIT
trap 'exit 130' INT TERM
velmora_display
velmora_wine_use "${VELMORA_E2E_PREFIX:-$root/build/wineprefix-e2e-x64}"
syswow64=$WINEPREFIX/drive_c/windows/syswow64
cp "$build/controlfiles/valid/MsComCtl.OCX" "$syswow64/MsComCtl.OCX"
trap 'rm -f "$syswow64/MsComCtl.OCX"; velmora_wine_cleanup' EXIT

report=$(mktemp)
costs=()
for run in $(seq "$runs"); do
  "$WINE" "$build/VelmoraHarness.exe" --out "$(winpath "$report")" "$(winpath "$build/Velmora.exe")" >/dev/null 2>&1 || true
  total=$(sed -n 's/^console_to_prompt_ms|//p' "$report")
  bars=$(awk -F'|' '/^bar\|/ && $3 > 0 { sum += $4 } END { print sum + 0 }' "$report")
  [ -n "$total" ] || { echo "run $run: no prompt seen" >&2; exit 1; }
  costs+=($((total - bars)))
  echo "run $run: console to prompt $total ms, bars $bars ms, own cost $((total - bars)) ms"
done
rm -f "$report"
median=$(printf '%s\n' "${costs[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "own cost of a full run: median $median ms over $runs runs"
