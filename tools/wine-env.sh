# Sourced by the scripts that run Windows programs here. Defines functions and
# starts nothing; a script sets its trap first, then starts what it needs:
#
#   source tools/wine-env.sh
#   trap velmora_wine_cleanup EXIT
#   trap 'exit 130' INT TERM
#   velmora_display                        # a virtual display unless one is usable
#   velmora_wine_use PREFIX [win64|win32 [LOADER]]  # WINE, WINEPREFIX, WINEARCH, ...; made once
#
# Every setting and every step is tools/wine.py's, the one manager of our simulated
# Windows, which the end-to-end runner uses too; these functions only keep what a
# shell script needs between its calls (the prefixes it used, its display).
# velmora_wine_cleanup ends every wineserver of every prefix used here and the
# virtual display, on every path.

velmora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_WINE_PREFIXES=()
VELMORA_XVFB_PID=

velmora_wine() { python3 "$velmora_root/tools/wine.py" "$@"; }

# A host path as a Windows program under Wine sees it (Z: is the host's /).
winpath() { velmora_wine winpath "$1"; }

# Wine's loader for a prefix of this architecture.
velmora_wine_loader() { velmora_wine loader "$1"; }

# Wine's console windows need a display: a virtual one of our own when there is none,
# until the clean-up ends it.
velmora_display() {
  [ -z "${DISPLAY:-}" ] || return 0
  local settings
  settings=$(velmora_wine display </dev/null) || return 1
  eval "$settings"
  export DISPLAY
}

# Makes the prefix once (a 64-bit one made before 32-bit Wine was installed is brought
# up to date) and exports the settings programs run under: WINE (the loader given, or
# the one of the architecture), WINEPREFIX (absolute), WINEARCH, WINEDEBUG and
# WINEDLLOVERRIDES. A 32-bit program on a 64-bit Windows: a win64 prefix, wine32's loader.
velmora_wine_use() {
  local settings
  settings=$(velmora_wine use "$1" "${2:-win64}" ${3:+"$3"}) || return 1
  eval "$settings"
  velmora_wine_remember "$WINEPREFIX"
}

# A prefix the clean-up ends: every one velmora_wine_use sets, and those that other
# programs of ours make (the end-to-end runner's).
velmora_wine_remember() { VELMORA_WINE_PREFIXES+=("$(realpath -m "$1")"); }

# Keeps the current prefix's wineserver, and with it Wine's background processes, up
# until the clean-up ends it: each program then starts without waiting for them.
velmora_wine_keep_server() { velmora_wine keep-server </dev/null >/dev/null 2>&1; }

# Ends the current prefix's server and everything running in it, and waits until
# its registry is saved.
velmora_wine_stop_server() { velmora_wine stop-server || true; }

# For an EXIT trap: every prefix's processes end first, while the display they use is
# still there, then our virtual display.
velmora_wine_cleanup() {
  [ ${#VELMORA_WINE_PREFIXES[@]} -eq 0 ] || velmora_wine end "${VELMORA_WINE_PREFIXES[@]}" 2>/dev/null || true
  [ -z "${VELMORA_XVFB_PID:-}" ] || kill "$VELMORA_XVFB_PID" 2>/dev/null || true
  VELMORA_XVFB_PID=
  return 0
}
