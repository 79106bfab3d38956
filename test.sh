#!/usr/bin/env bash
# Builds the three presets and runs every test: native unit tests over fakes,
# the Windows tests under Wine, the end-to-end runs of Velmora.exe, and the
# release checks. Installs what it needs on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}" "${VELMORA_TEST_DEPS[@]}"
# The x86 build runs here only where the machine runs 32-bit programs: the i386 probe
# tells, before anything 32-bit is installed.
if velmora_runs_i386; then
  velmora_install_wine32
  x86=1
else
  velmora_remove_wine32
  x86=
fi

jobs=$(nproc 2>/dev/null || echo 2)
step() { printf '\n== %s\n' "$*"; }
configure_and_build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs" >/dev/null
}

step "Native: the logic over fakes"
configure_and_build native
ctest --preset native -j "$jobs"

step "Native: AddressSanitizer and UndefinedBehaviorSanitizer"
tests/tools/sanitizers.sh

step "Windows builds (x86-64 and x86)"
configure_and_build win64
configure_and_build win32

step "x86-64: the platform layer under Wine"
(
  source tools/wine-env.sh
  trap velmora_wine_cleanup EXIT
  cd build/win64 && ctest --output-on-failure
)

if [ -n "$x86" ]; then
  step "x86: the platform layer under Wine, as a 32-bit program on a 64-bit Windows"
  (
    export WINE=/usr/lib/wine/wine
    source tools/wine-env.sh build/wineprefix
    trap velmora_wine_cleanup EXIT
    cd build/win32 && ctest --output-on-failure
  )
  step "x86: the platform layer under Wine, on a 32-bit Windows"
  (
    export WINE=/usr/lib/wine/wine WINEARCH=win32
    source tools/wine-env.sh build/wineprefix32
    trap velmora_wine_cleanup EXIT
    cd build/win32 && ctest --output-on-failure
  )
else
  step "x86: imports, subsystem and reach (static checks)"
  (cd build/win32 && ctest -L static --output-on-failure)
  echo "Skipped: the x86 platform tests on a 64-bit and on a 32-bit Windows, and the x86 end-to-end" \
    "scenarios: this machine runs no 32-bit code (the kernel refused a static i386 program), so it has no 32-bit Wine."
fi

step "End to end: Velmora.exe under Wine"
python3 tests/e2e/test_e2e.py --build build/win64 ${x86:+--x86 build/win32}

step "Fuzzing"
tests/tools/fuzz.sh

step "Format, clang-tidy and cppcheck"
tests/tools/static-analysis.sh

step "Reproducible release package"
tests/tools/check-reproducible.sh

printf '\nAll tests passed.\n'
