#!/usr/bin/env bash
# Builds Velmora.exe (win64 preset) and runs it under Wine; exits with its exit code.
#   ./run.sh [--headless]
# With a usable display, Velmora opens its own console window there, as on Windows.
# Without one (SSH, CI, a plain terminal), or with --headless, it runs on a virtual
# display and its console is mirrored live in this terminal: what you type here is
# typed into its console when you press Enter.
# Installs what is missing (Debian packages) first; quiet when nothing is.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD

headless=${VELMORA_HEADLESS:-}
for arg in "$@"; do
  case $arg in
    --headless) headless=1 ;;
    -h | --help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 64 ;;
  esac
done

# shellcheck source=tools/install-deps.sh
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}"

build_log=$root/build/run-build.log
mkdir -p build
if ! { cmake --preset win64 && cmake --build build/win64 -j "$(nproc 2>/dev/null || echo 2)" --target Velmora VelmoraHarness; } \
  >"$build_log" 2>&1; then
  cat "$build_log" >&2
  echo "run.sh: the build failed" >&2
  exit 1
fi

# A display is usable when it is set and, for a local one, its socket is there.
display_usable() {
  local display=${DISPLAY:-}
  [ -n "$display" ] || return 1
  case $display in
    :*) local n=${display#:}; n=${n%%.*}; [ -S "/tmp/.X11-unix/X$n" ] ;;
    *) return 0 ;;
  esac
}

# Sets WINE, WINEPREFIX, DISPLAY (a virtual one when there is none), ...
use_wine() {
  [ -f "${WINEPREFIX:-$root/build/wineprefix}/system.reg" ] ||
    echo "Making the Wine prefix (once, 10 to 20 seconds)..." >&2
  # shellcheck source=tools/wine-env.sh
  source tools/wine-env.sh
}

# Standard input, output and error are pipes for Wine, never this terminal: Wine
# would otherwise give the program's console to the terminal (or the harness a
# console on it), and the terminal keeps its own echo and line editing.
set +e
if [ -z "$headless" ] && display_usable; then
  use_wine
  echo "Velmora is running in its own console window." >&2
  "$WINE" build/win64/Velmora.exe </dev/null 2> >(cat >&2) | cat
  exit "${PIPESTATUS[0]}"
fi

# Headless: a virtual display of our own, the console mirrored by the harness.
unset DISPLAY
use_wine
trap velmora_wine_cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: no virtual display could be started" >&2
  exit 1
fi

velmora=$(winpath "$root/build/win64/Velmora.exe")
# What is typed here reaches the harness through a pipe; the copier is ended
# afterwards, so that it takes no line typed after the run.
exec 3< <(exec cat)
copier=$!
"$WINE" build/win64/VelmoraHarness.exe --mirror "$velmora" <&3 3<&- 2> >(cat >&2) | cat
code=${PIPESTATUS[0]}
exec 3<&-
kill "$copier" 2>/dev/null
exit "$code"
