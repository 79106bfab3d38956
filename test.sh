#!/usr/bin/env bash
# Builds the three presets and runs every test: native unit tests over fakes,
# the Windows tests under Wine, the end-to-end runs of Velmora.exe, and the
# release checks. Installs what it needs on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD
source tools/install-deps.sh
velmora_install_deps "${VELMORA_RUN_DEPS[@]}" "${VELMORA_TEST_DEPS[@]}"

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

step "x86: imports, subsystem and reach (static checks; the 32-bit build is not run here)"
(cd build/win32 && ctest -L static --output-on-failure)

step "x86-64: the platform layer under Wine"
(
  source tools/wine-env.sh
  trap velmora_wine_cleanup EXIT
  cd build/win64 && ctest --output-on-failure
)

step "End to end: Velmora.exe under Wine"
python3 tests/e2e/test_e2e.py --build build/win64

step "Fuzzing"
tests/tools/fuzz.sh

step "Format, clang-tidy and cppcheck"
tests/tools/static-analysis.sh

step "Reproducible release package"
tests/tools/check-reproducible.sh

printf '\nAll tests passed.\n'
