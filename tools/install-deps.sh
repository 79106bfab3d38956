# Sourced by run.sh, test.sh and bench.sh: installs the Debian packages a step
# needs, and says nothing when they are all there already.
#   velmora_install_deps PACKAGE...

velmora_install_deps() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building and running the Windows program needs (64-bit Wine only); widl
# (mingw-w64-tools) compiles the stand-in control files' type library, which the
# Windows build's configuration looks for.
VELMORA_RUN_DEPS=(cmake make g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 mingw-w64-tools wine64 xvfb xauth python3)
# What the native tests, the benchmark and the checks need besides; LLVM's MinGW linker
# and its dlltool make the loader's layouts that delay-load (GNU ld writes their table
# without its directory).
VELMORA_TEST_DEPS=(g++ libgtest-dev googletest libbenchmark-dev zlib1g-dev python3 clang libclang-rt-14-dev
  clang-tidy clang-format cppcheck lld llvm)

# Whether this machine runs 32-bit x86 code: a tiny static i386 program that only
# exits with 42 is run. Where the kernel refuses it, nothing 32-bit is installed:
# 32-bit Wine would be left broken there.
velmora_runs_i386() {
  local probe
  probe=$(mktemp)
  python3 "$(dirname "${BASH_SOURCE[0]}")/../tests/tools/make_i386_probe.py" "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

velmora_wine32_installed() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'
}

# 32-bit Wine (Debian's wine32:i386, the same Wine as wine64). Call it only where
# velmora_runs_i386 has answered yes.
velmora_install_wine32() {
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  velmora_wine32_installed && return 0
  echo "Installing: wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
}

# Where velmora_runs_i386 answered no, a wine32 that is there leaves Wine broken.
velmora_remove_wine32() {
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  velmora_wine32_installed || return 0
  echo "Removing wine32: this machine runs no 32-bit code"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq wine32:i386 >/dev/null
}
