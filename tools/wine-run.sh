#!/usr/bin/env bash
# ctest's emulator for the Windows test programs: runs one under Wine with its output
# in a file, never in ctest's pipe. Wine's background processes, started during the
# test, would inherit that pipe and keep it open, and ctest would wait for them. The
# output is printed once the program has ended, and its exit code is passed on.
#   tools/wine-run.sh LOADER PROGRAM [ARGUMENT...]
# $WINE, when set, is the loader used instead of LOADER (the one the build found).
# The wait is bounded by VELMORA_WINE_RUN_SECONDS (default 240), below ctest's own timeout.
set -u
loader=${WINE:-$1}
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT

seconds=${VELMORA_WINE_RUN_SECONDS:-240}
status=0
timeout --kill-after=10 "$seconds" "$loader" "$@" </dev/null >"$output" 2>&1 || status=$?
cat "$output"
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "wine-run: $1 did not end within $seconds seconds" >&2
fi
exit "$status"
