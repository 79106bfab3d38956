#!/usr/bin/env bash
# Builds Velmora.exe and its harness (the run-win64 preset: no test programs, no GoogleTest) and
# runs it under Wine; exits with its exit code.
#   ./run.sh [--headless] [--x86] [--control VARIANT] [-- VELMORA'S SWITCHES...]
# --x86 runs the x86 build (run-win32 preset) on a simulated 32-bit Windows instead; it
# needs a machine that runs 32-bit code, and says so where this one does not.
# --control puts a stand-in control file in the system folder first (valid,
# other-crc, no-version, damaged-typelib, ...: tests/controlfiles/ControlFiles.cmake).
# With a usable display, Velmora opens its own console window there, as on Windows.
# Without one (SSH, CI, a plain terminal), or with --headless, it runs on a virtual
# display and its console is mirrored live in this terminal: what you type here is
# typed into its console when you press Enter.
# Installs what is missing (Debian packages) first; quiet when nothing is.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD

headless=${VELMORA_HEADLESS:-}
x86=
control=
switches=()
while [ $# -gt 0 ]; do
  case $1 in
    --headless) headless=1 ;;
    --x86) x86=1 ;;
    --control)
      [ $# -ge 2 ] || { echo "run.sh: --control needs a variant's name" >&2; exit 64; }
      control=$2
      shift
      ;;
    --) shift; switches=("$@"); break ;;
    -h | --help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 64 ;;
  esac
  shift
done

# Wine runs the Windows program only on an x86-64 Debian machine.
if [ "$(dpkg --print-architecture 2>/dev/null)" != amd64 ]; then
  echo "run.sh: Velmora.exe runs under Debian's Wine on an x86-64 (amd64) machine; this one is" \
    "$(dpkg --print-architecture 2>/dev/null || uname -m). Copy build/run-win64/Velmora.exe to Windows instead." >&2
  exit 1
fi

# shellcheck source=tools/install-deps.sh
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}"

preset=run-win64 arch=win64 prefix=${WINEPREFIX:-$root/build/wineprefix}
if [ -n "$x86" ]; then
  # The i386 probe first: 32-bit Wine is installed only where 32-bit programs run.
  if ! velmora_runs_i386; then
    echo "run.sh: --x86 needs a machine that runs 32-bit programs; this one does not (the kernel refused a" \
      "static i386 program), so it has no 32-bit Wine" >&2
    exit 1
  fi
  velmora_install_wine32
  # A 32-bit Windows of its own, made and run by Wine's 32-bit loader.
  preset=run-win32 arch=win32 prefix=${WINEPREFIX:-$root/build/wineprefix32}
fi

build_log=$root/build/run-build.log
mkdir -p build
if ! { cmake --preset "$preset" &&
  cmake --build "build/$preset" -j "$(nproc 2>/dev/null || echo 2)" --target Velmora VelmoraHarness \
    ${control:+velmora_controlfiles}; } \
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

# shellcheck source=tools/wine-env.sh
source tools/wine-env.sh
# Every Xvfb and wineserver started below ends on every path, Ctrl-C included.
trap velmora_wine_cleanup EXIT
trap 'exit 130' INT TERM

use_wine() {
  [ -f "$prefix/system.reg" ] || echo "Making the Wine prefix (once, 10 to 30 seconds)..." >&2
  velmora_wine_use "$prefix" "$arch"
  [ -n "$control" ] || return 0
  local source=build/$preset/controlfiles/$control/MsComCtl.OCX
  local folder=$WINEPREFIX/drive_c/windows/$([ "$arch" = win64 ] && echo syswow64 || echo system32)
  rm -f "$folder"/[Mm][Ss][Cc][Oo][Mm][Cc][Tt][Ll].[Oo][Cc][Xx]
  if [ -f "$source" ]; then
    cp "$source" "$folder/MsComCtl.OCX"
  elif [ ! -d "build/$preset/controlfiles/$control" ]; then
    echo "run.sh: no stand-in control file named $control" >&2
    exit 64
  fi
}

# Wine never gets this terminal, nor a pipe: given the terminal, it would give the
# program's console to it (or the harness a console on it); a pipe would be held
# open by Wine's background processes. What Wine prints goes to a file.
wine_log=$root/build/run-wine.log
set +e
if [ -z "$headless" ] && display_usable; then
  use_wine
  echo "Velmora is running in its own console window." >&2
  "$WINE" "build/$preset/Velmora.exe" "${switches[@]}" </dev/null >"$wine_log" 2>&1
  exit $?
fi

# Headless: a virtual display of our own, the console mirrored by the harness.
unset DISPLAY
if ! velmora_display; then
  echo "run.sh: no virtual display could be started" >&2
  exit 1
fi
use_wine

velmora=$(winpath "$root/build/$preset/Velmora.exe")
# What is typed here reaches the harness through a pipe; the copier is ended
# afterwards, so that it takes no line typed after the run. The mirror goes
# through a file, shown as it grows.
exec 3< <(exec cat)
copier=$!
mirror=$root/build/run-mirror.txt
: >"$mirror"
"$WINE" "build/$preset/VelmoraHarness.exe" --mirror "$velmora" "${switches[@]}" <&3 3<&- >"$mirror" 2>&1 &
harness=$!
tail -n +1 -f --pid="$harness" "$mirror"
wait "$harness"
code=$?
exec 3<&-
kill "$copier" 2>/dev/null
exit "$code"
