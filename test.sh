#!/usr/bin/env bash
# Builds the presets and runs every test: native unit tests over fakes (built
# once, under the sanitizers), the Windows tests under Wine, the end-to-end runs
# of Velmora.exe, and the release checks. Installs what it needs on a fresh Debian machine. Each step
# tells its time when it ends; the last lines sum them up.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD
source tools/install-deps.sh
source tools/wine-env.sh
# Every Xvfb, wineserver and step started below ends on every path, Ctrl-C included.
cleanup() {
  stop_alongside
  rm -rf "${reproduced:-}"
  local prefix
  for prefix in build/wineprefix-e2e-*/; do [ -d "$prefix" ] && velmora_wine_remember "$prefix"; done
  velmora_wine_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$SECONDS
timings=()
# step NAME COMMAND...: the command, under a heading, then the time it took.
step() {
  local name=$1 from=$SECONDS took
  shift
  printf '\n== %s\n' "$name"
  "$@"
  took=$((SECONDS - from))
  printf -- '-- %s: %d:%02d\n' "$name" $((took / 60)) $((took % 60))
  timings+=("$(printf '%3d:%02d  %s' $((took / 60)) $((took % 60)) "$name")")
}

# alongside [--yield] NAME COMMAND...: a step that runs beside the next ones, in a
# process group of its own, its output kept until join_alongside shows it. With
# --yield it runs at the lowest priority, its session's scheduling group too (the
# kernel shares the processors evenly between sessions, whatever their nice values):
# it then takes what the steps in front leave idle while they wait on Wine and on
# progress bars. None of them rebuilds a program or changes a prefix another step runs.
alongside_names=() alongside_pids=() alongside_logs=()
alongside() {
  local name priority=0 log
  if [ "$1" = --yield ]; then priority=19; shift; fi
  name=$1
  shift
  log=$(mktemp)
  printf '\n== %s: started alongside, shown when it ends\n' "$name"
  setsid bash -c 'log=$0 priority=$1; shift
    if [ "$priority" != 0 ]; then
      echo "$priority" >/proc/self/autogroup 2>/dev/null || true
      renice -n "$priority" -p $$ >/dev/null 2>&1 || true
    fi
    from=$SECONDS; status=0; "$@" || status=$?; echo $((SECONDS - from)) >"$log.seconds"; exit $status' \
    "$log" "$priority" "$@" </dev/null >"$log" 2>&1 &
  alongside_names+=("$name")
  alongside_pids+=($!)
  alongside_logs+=("$log")
}

# join_alongside [NAME...]: waits for the steps alongside of these names (all when
# none is named) and shows their output.
join_alongside() {
  local i status failed=0 took
  for i in "${!alongside_pids[@]}"; do
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qxF -- "${alongside_names[$i]}"; then continue; fi
    status=0
    wait "${alongside_pids[$i]}" || status=$?
    printf '\n== %s\n' "${alongside_names[$i]}"
    cat "${alongside_logs[$i]}"
    took=$(cat "${alongside_logs[$i]}.seconds" 2>/dev/null || echo 0)
    printf -- '-- %s: %d:%02d (alongside)\n' "${alongside_names[$i]}" $((took / 60)) $((took % 60))
    timings+=("$(printf '%3d:%02d  %s (alongside)' $((took / 60)) $((took % 60)) "${alongside_names[$i]}")")
    rm -f "${alongside_logs[$i]}" "${alongside_logs[$i]}.seconds"
    [ "$status" -eq 0 ] || failed=1
    unset "alongside_names[$i]" "alongside_pids[$i]" "alongside_logs[$i]"
  done
  return $failed
}

stop_alongside() {
  local pid
  for pid in "${alongside_pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
}

jobs=$(nproc 2>/dev/null || echo 2)
configure_and_build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs" >/dev/null
}

install_packages() {
  velmora_install_deps "${VELMORA_RUN_DEPS[@]}" "${VELMORA_TEST_DEPS[@]}"
  # The x86 build runs here only where the machine runs 32-bit programs: the i386
  # probe tells, before anything 32-bit is installed.
  if velmora_runs_i386; then
    velmora_install_wine32
    x86=1
  else
    velmora_remove_wine32
    x86=
  fi
}

# The release package too: the reproducibility check builds it again elsewhere.
windows_builds() {
  configure_and_build win64
  configure_and_build win32
  cmake --build --preset win64 --target release >/dev/null
}

# windows_layer BUILD LOADER PREFIX ARCH: a build's Windows tests, run by one Wine
# loader in one simulated Windows. Every layer runs through here; the loader, the
# prefix and its architecture are all that differ. The prefix's wineserver stays up
# for the layer, so no test waits for Wine's background processes to start or end.
windows_layer() {
  local build=$1 loader=$2 prefix=$3 arch=$4
  velmora_display
  velmora_wine_use "$prefix" "$arch" "$loader"
  velmora_wine_keep_server
  (cd "$build" && ctest --output-on-failure)
  velmora_wine_stop_server
}

# The simulated Windows the platform layers run in: each takes half a minute to make,
# mostly waiting on Wine's own processes, so they are made beside the builds.
make_prefixes() {
  velmora_display
  velmora_wine_remember build/wineprefix
  [ -z "$x86" ] || velmora_wine_remember build/wineprefix32
  alongside "Simulated Windows" bash -c \
    'python3 tools/wine.py use build/wineprefix win64 >/dev/null && { [ -z "$0" ] || python3 tools/wine.py use build/wineprefix32 win32 >/dev/null; } && echo made' "$x86"
}

# The runner's groups side by side, each in a simulated Windows of its own (a copy of
# one the Windows tests used: quicker than making one), on our display.
end_to_end() {
  velmora_display
  VELMORA_E2E_DISPLAY=1 VELMORA_E2E_TEMPLATE64=$root/build/wineprefix VELMORA_E2E_TEMPLATE32=$root/build/wineprefix32 \
    python3 tests/e2e/test_e2e.py --side-by-side --build build/win64 ${x86:+--x86 build/win32}
}

x86_static_checks() {
  (cd build/win32 && ctest -L static --output-on-failure)
  echo "Skipped: the x86 platform tests on a 64-bit and on a 32-bit Windows (not built either), and the x86" \
    "end-to-end scenarios: this machine runs no 32-bit code (the kernel refused a static i386 program), so it has no 32-bit Wine."
}

step "Packages" install_packages
# The builds keep both processors busy; the static checks and the release package's
# second build, elsewhere, yield to them.
make_prefixes
alongside --yield "Format, clang-tidy and cppcheck" tests/tools/static-analysis.sh
reproduced=$(mktemp -d)
alongside --yield "The release package built again elsewhere" \
  tests/tools/check-reproducible.sh --make-copy "$reproduced/checkout"
# The unit tests run once, in the build that also catches what a plain one would miss.
step "Native: the logic over fakes, under AddressSanitizer and UndefinedBehaviorSanitizer" \
  tests/tools/sanitizers.sh
step "Windows builds (x86-64 and x86)" windows_builds
# Fuzzing runs for a set time, so at full priority.
alongside "Fuzzing" tests/tools/fuzz.sh
join_alongside "Simulated Windows"
step "x86-64: the platform layer under Wine" \
  windows_layer build/win64 "$(velmora_wine_loader win64)" build/wineprefix win64
if [ -n "$x86" ]; then
  step "x86: the platform layer under Wine, as a 32-bit program on a 64-bit Windows" \
    windows_layer build/win32 "$(velmora_wine_loader win32)" build/wineprefix win64
  step "x86: the platform layer under Wine, on a 32-bit Windows" \
    windows_layer build/win32 "$(velmora_wine_loader win32)" build/wineprefix32 win32
else
  step "x86: imports, subsystem and reach (static checks)" x86_static_checks
fi
step "End to end: Velmora.exe under Wine" end_to_end
join_alongside
step "Reproducible release package" tests/tools/check-reproducible.sh --built --copy "$reproduced/checkout"

printf '\nEach step:\n'
printf '%s\n' "${timings[@]}"
total=$((SECONDS - started))
printf '%3d:%02d  in all\n\nAll tests passed.\n' $((total / 60)) $((total % 60))
