# Sourced by the scripts that run Windows programs here. Defines functions and
# starts nothing; a script sets its trap first, then starts what it needs:
#
#   source tools/wine-env.sh
#   trap velmora_wine_cleanup EXIT
#   trap 'exit 130' INT TERM
#   velmora_display                        # a virtual display unless one is usable
#   velmora_wine_use PREFIX [win64|win32 [LOADER]]  # WINE, WINEPREFIX, WINEARCH, ...; made once
#
# velmora_wine_cleanup ends every wineserver of every prefix used here and the
# virtual display, on every path. Debian's wine64 runs 64-bit programs (and, with
# wine32 present, 32-bit ones under WoW64 in a win64 prefix); wine32's loader makes
# and runs a 32-bit Windows (win32).

velmora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_WINE_PREFIXES=()
VELMORA_XVFB_PID=

# A host path as a Windows program under Wine sees it (Z: is the host's /).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# Wine's loader for a prefix of this architecture.
velmora_wine_loader() {
  if [ "$1" = win32 ]; then
    echo /usr/lib/wine/wine
  elif [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    command -v wine64 || command -v wine
  fi
}

velmora_wineserver() { echo "$(dirname "$WINE")/wineserver"; }

velmora_start_xvfb() {
  # Xvfb picks a free display itself and tells its number.
  local numberfile
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  VELMORA_XVFB_PID=$!
  for _ in $(seq 100); do
    if [ -s "$numberfile" ]; then
      export DISPLAY=":$(tr -d '[:space:]' <"$numberfile")"
      rm -f "$numberfile"
      return 0
    fi
    sleep 0.1
  done
  rm -f "$numberfile"
  return 1
}

velmora_stop_xvfb() {
  if [ -n "${VELMORA_XVFB_PID:-}" ]; then
    kill "$VELMORA_XVFB_PID" 2>/dev/null
    wait "$VELMORA_XVFB_PID" 2>/dev/null
  fi
  VELMORA_XVFB_PID=
  return 0
}

# Wine's console windows need a display: a virtual one of our own when there is none.
velmora_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  velmora_start_xvfb || { echo "wine-env: could not start Xvfb" >&2; return 1; }
}

# Sets WINE (the loader given, or the one of the architecture), WINEPREFIX
# (absolute), WINEARCH, WINEDEBUG and WINEDLLOVERRIDES, and makes the prefix once,
# quietly. A 32-bit program on a 64-bit Windows: a win64 prefix and wine32's loader.
velmora_wine_use() {
  local arch=${2:-win64}
  export WINEARCH=$arch WINEPREFIX WINE
  WINEPREFIX=$(realpath -m "$1")
  WINE=${3:-$(velmora_wine_loader "$arch")}
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installers: the prefix never needs them. No debugger: a program
  # that crashes ends at once, rather than waiting for one.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}
  velmora_wine_remember "$WINEPREFIX"
  local wineboot=--init
  if [ -f "$WINEPREFIX/system.reg" ]; then
    # A 64-bit Windows made before 32-bit Wine was installed has no 32-bit system
    # files; it is brought up to date once (Wine skips an update its time stamp
    # says was made).
    velmora_wine_lacks_wow64 || return 0
    rm -f "$WINEPREFIX/.update-timestamp"
    wineboot=--update
  fi
  mkdir -p "$WINEPREFIX"
  # Made by the loader of its architecture, whichever loader runs programs in it.
  "$(velmora_wine_loader "$arch")" wineboot $wineboot >/dev/null 2>&1
  # Bounded: a 32-bit prefix's background processes may never let the wait end.
  timeout 60 "$(velmora_wineserver)" -w 2>/dev/null || "$(velmora_wineserver)" -k 2>/dev/null || true
}

velmora_wine_lacks_wow64() {
  [ "$WINEARCH" = win64 ] && [ -x "$(velmora_wine_loader win32)" ] &&
    [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

# A prefix the clean-up ends: every one velmora_wine_use sets, and those that other
# programs of ours make (the end-to-end runner's).
velmora_wine_remember() {
  local prefix known
  prefix=$(realpath -m "$1")
  for known in "${VELMORA_WINE_PREFIXES[@]}"; do [ "$known" = "$prefix" ] && return 0; done
  VELMORA_WINE_PREFIXES+=("$prefix")
}

# Keeps the current prefix's wineserver, and with it Wine's background processes, up
# until the clean-up ends it: each program then starts without waiting for them.
velmora_wine_keep_server() { "$(velmora_wineserver)" -p </dev/null >/dev/null 2>&1; }

# Ends the current prefix's server and everything running in it, and waits until
# its registry is saved.
velmora_wine_stop_server() {
  "$(velmora_wineserver)" -k 2>/dev/null || true
  timeout 20 "$(velmora_wineserver)" -w 2>/dev/null || true
}

# For an EXIT trap: every prefix's processes end first, while the display they use is
# still there, then our virtual display.
velmora_wine_cleanup() {
  local prefix wineserver
  wineserver=$(dirname "$(velmora_wine_loader win64)")/wineserver
  for prefix in "${VELMORA_WINE_PREFIXES[@]}"; do
    [ -d "$prefix" ] || continue
    WINEPREFIX=$prefix timeout 20 "$wineserver" -k 2>/dev/null || true
  done
  velmora_stop_xvfb
}
