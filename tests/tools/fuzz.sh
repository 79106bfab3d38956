#!/usr/bin/env bash
# The libFuzzer targets (fuzz/): builds them in the `native-sanitize` preset (clang,
# AddressSanitizer, UndefinedBehaviorSanitizer; sanitizers.sh has built them already),
# then runs each target for a bounded time on a copy of its seed corpus
# (fuzz/corpus/<Target>/, never changed here), all at once: the run costs the
# processors the same time however many targets share them. Any crash, sanitizer
# report, mismatch, leak, timeout or out-of-memory fails the run.
#
#   VELMORA_FUZZ_SECONDS  seconds per target (default 20)
#   VELMORA_FUZZ_TARGETS  the targets to run, space-separated (default all)
#
# A failing target's input is kept in build/native-sanitize/findings/<Target>/ with its
# log; replay it with build/native-sanitize/fuzz/<Target> <that file>.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$(pwd)

seconds=${VELMORA_FUZZ_SECONDS:-20}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "VELMORA_FUZZ_SECONDS must be a whole number of seconds, not '$seconds'" >&2
  exit 2
fi
read -r -a targets <<<"${VELMORA_FUZZ_TARGETS:-RegisteredValueFuzz ReportValueFuzz TypeLibraryFuzz}"

jobs=$(nproc 2>/dev/null || echo 2)
build_log=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$work" "$build_log"' EXIT

echo "Building the fuzz targets (preset native-sanitize)..."
if ! { cmake --preset native-sanitize && cmake --build --preset native-sanitize -j "$jobs" --target "${targets[@]}"; } >"$build_log" 2>&1; then
  tail -n 60 "$build_log" >&2
  echo "fuzz: the build failed" >&2
  echo "0 passed, ${#targets[@]} failed"
  exit 1
fi

bin=$root/build/native-sanitize/fuzz
findings=$root/build/native-sanitize/findings
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# One target's run; its verdict line goes to $work/<target>/verdict, "PASS ..." or "FAIL ...".
fuzz_target() {
  local target=$1
  local corpus=$work/$target/corpus artifacts=$work/$target/artifacts log=$work/$target/log
  rm -rf "${findings:?}/$target"
  mkdir -p "$corpus" "$artifacts"
  if [[ -d fuzz/corpus/$target ]]; then cp -R "fuzz/corpus/$target/." "$corpus/"; fi
  local seeds status=0 runs cov reports kept what
  seeds=$(find "$corpus" -type f | wc -l)

  "$bin/$target" "$corpus" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  reports=$(grep -cE '^==[0-9]+==ERROR|runtime error:|==velmora-fuzz== MISMATCH|^==[0-9]+== ERROR: libFuzzer' "$log" || true)
  kept=$(find "$artifacts" -type f | wc -l)
  if [[ $status -eq 0 && $reports -eq 0 && $kept -eq 0 ]]; then
    printf 'PASS %-16s %ss, %s runs, coverage %s, %s seeds -> %s inputs\n' \
      "$target" "$seconds" "${runs:-?}" "${cov:-?}" "$seeds" "$(find "$corpus" -type f | wc -l)" >"$work/$target/verdict"
  else
    mkdir -p "$findings/$target"
    cp "$log" "$findings/$target/log"
    if [[ $kept -gt 0 ]]; then cp "$artifacts"/* "$findings/$target/"; fi
    what=$(grep -m1 -E '==velmora-fuzz== MISMATCH|SUMMARY:|runtime error:|ERROR: libFuzzer' "$log" || echo "exit status $status")
    {
      printf 'FAIL %-16s exit %s: %s (input and log in %s)\n' "$target" "$status" "$what" "${findings#"$root"/}/$target"
      grep -m2 -F '==velmora-fuzz==' "$log" | sed -n '2p' | sed 's/^/    /' || true
    } >"$work/$target/verdict"
  fi
}

# Every target at once, each for the full time: they share the processors.
for target in "${targets[@]}"; do
  fuzz_target "$target" &
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  if [ -f "$work/$target/verdict" ]; then
    cat "$work/$target/verdict"
  else
    echo "FAIL $target: its run ended without a verdict" | tee "$work/$target/verdict"
    mkdir -p "$findings/$target"
    cp "$work/$target/log" "$findings/$target/log" 2>/dev/null || true
  fi
  if grep -q '^PASS' "$work/$target/verdict"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
