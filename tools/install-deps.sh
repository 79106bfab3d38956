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

# What building and running the Windows program needs (64-bit Wine only).
VELMORA_RUN_DEPS=(cmake make g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine64 xvfb xauth)
# What the native tests, the benchmark and the checks need besides.
VELMORA_TEST_DEPS=(g++ libgtest-dev googletest libbenchmark-dev zlib1g-dev python3 clang libclang-rt-14-dev
  clang-tidy clang-format cppcheck)
