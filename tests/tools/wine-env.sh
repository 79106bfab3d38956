# Sourced by the scripts that run Windows programs here: a Wine prefix of the
# project's own and, when there is no display, a virtual one (Wine's console
# window needs a display).
#   source tests/tools/wine-env.sh [prefix-dir]
# Sets WINE, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY.

velmora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINE=${WINE:-$( [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64 || command -v wine64 || command -v wine )}
export WINEPREFIX=${1:-${WINEPREFIX:-$velmora_root/build/wineprefix}}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the prefix never needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

velmora_start_xvfb() {
  local n
  for n in 97 98 99 100 101; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      VELMORA_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
      return 1
    fi
  done
  return 1
}

velmora_stop_xvfb() {
  [ -n "${VELMORA_XVFB_PID:-}" ] && kill "$VELMORA_XVFB_PID" 2>/dev/null
  VELMORA_XVFB_PID=
}

if [ -z "${DISPLAY:-}" ]; then
  velmora_start_xvfb || echo "wine-env: could not start Xvfb" >&2
fi

# A new prefix takes a while to make; make it once, quietly.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1
  "${WINESERVER:-$(dirname "$WINE")/wineserver}" -w 2>/dev/null || true
fi
