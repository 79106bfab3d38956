# Sourced by the scripts that run Windows programs here: a Wine prefix of the
# project's own and, when there is no display, a virtual one (Wine's console
# window needs a display).
#   source tools/wine-env.sh [prefix-dir]
# Sets WINE, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY. A 64-bit Windows
# by default; with WINE=/usr/lib/wine/wine (Debian's wine32) and WINEARCH=win32
# exported first, a new prefix is a 32-bit Windows.

velmora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINE=${WINE:-$( [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64 || command -v wine64 || command -v wine )}
export WINEPREFIX=${1:-${WINEPREFIX:-$velmora_root/build/wineprefix}}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the prefix never needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# A host path as a Windows program under Wine sees it (Z: is the host's /).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

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
  [ -n "${VELMORA_XVFB_PID:-}" ] && kill "$VELMORA_XVFB_PID" 2>/dev/null
  VELMORA_XVFB_PID=
}

# For an EXIT trap: the prefix's processes end first, while the display they use
# is still there, then our virtual display.
velmora_wine_cleanup() {
  local wineserver=${WINESERVER:-$(dirname "$WINE")/wineserver}
  timeout 20 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null
  velmora_stop_xvfb
}

if [ -z "${DISPLAY:-}" ]; then
  velmora_start_xvfb || echo "wine-env: could not start Xvfb" >&2
fi

# A new prefix takes a while to make; make it once, quietly.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1
  # Bounded: a 32-bit prefix's background processes may never let the wait end.
  timeout 60 "${WINESERVER:-$(dirname "$WINE")/wineserver}" -w 2>/dev/null ||
    "${WINESERVER:-$(dirname "$WINE")/wineserver}" -k 2>/dev/null || true
fi
