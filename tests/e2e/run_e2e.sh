#!/usr/bin/env bash
# End-to-end scenarios: Velmora.exe under Wine, its console read by VelmoraHarness.exe.
#   tests/e2e/run_e2e.sh [BUILD_DIR] [SCENARIO...]
# BUILD_DIR defaults to build/win64 and must hold Velmora.exe and VelmoraHarness.exe.
# With scenario names, only those run. Prints one PASS/FAIL line per scenario and
# ends with "N passed, M failed"; the exit status is non-zero when one failed.
#
# A scenario is: a prefix setup function, the expected rows, the exit code:
#   scenario NAME SETUP EXPECTED EXIT_CODE [VAR=VALUE...]
#     SETUP      function run (in a subshell) after the prefix is reset: no
#                MsComCtl.OCX in system32 or syswow64; see place_control_file,
#                place_control_variant, place_control_folder below
#     EXPECTED   a function printing the expected rows, or a file under tests/e2e/expected/
#     EXIT_CODE  what Velmora must end with; 3 means the run ends in the error
#                message box, any other code that it waits at "Press Enter to exit"
#                and ends within 1500 ms of Enter
#     VAR=VALUE  environment for that run only, e.g.
#                WINEDLLOVERRIDES="$base_dll_overrides;wbemprox=d" (WMI unreachable)
# Every scenario also checks the console title ("Velmora") and width (80 columns).
# A function named check_NAME, when there is one, runs last with the report file
# as its argument (for the message box text, the progress bars, ...); what it
# prints, or its failing, fails the scenario.
#
# The prefix is VELMORA_E2E_PREFIX (default build/wineprefix-e2e); the display a
# virtual one of its own, unless VELMORA_E2E_DISPLAY=1 keeps $DISPLAY.
# The harness's reports stay in BUILD_DIR/e2e/NAME.txt.
#
# Expected rows, one a line, are compared with the screen rows (trailing spaces cut):
#   text       the row is exactly this (an empty line: an empty row)
#   ~REGEX     the row matches this extended regular expression, whole (system-dependent rows)
#   ...        any number of rows, up to the first that matches the next expected line;
#              as the last line: whatever rows follow
#   =text      the row is exactly "text" (for a row that starts with ~, = or is ...)
# Without a closing "...", the screen must have no further non-empty rows.

# shellcheck source-path=SCRIPTDIR/../..
set -u

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$e2e_dir/../.." && pwd)

build=${1:-$root/build/win64}
[ $# -gt 0 ] && shift
build=$(cd "$build" 2>/dev/null && pwd) || { echo "run_e2e: no build directory ${1:-build/win64}" >&2; exit 2; }
only=("$@")

velmora_exe=$build/Velmora.exe
harness_exe=$build/VelmoraHarness.exe
for exe in "$velmora_exe" "$harness_exe"; do
  [ -f "$exe" ] || { echo "run_e2e: $exe is missing (build the win64 preset first)" >&2; exit 2; }
done

cleanup() {
  # Let the prefix's processes end while the display they use is still there.
  if [ -n "${WINE:-}" ]; then
    local wineserver=${WINESERVER:-$(dirname "$WINE")/wineserver}
    timeout 20 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null
  fi
  declare -F velmora_stop_xvfb >/dev/null && velmora_stop_xvfb
}
trap cleanup EXIT

# A prefix of the scenarios' own, and a virtual display of their own unless
# VELMORA_E2E_DISPLAY=1 keeps the current one (the consoles then show there).
[ "${VELMORA_E2E_DISPLAY:-}" == 1 ] || unset DISPLAY
# shellcheck source=tests/tools/wine-env.sh
source "$root/tests/tools/wine-env.sh" "${VELMORA_E2E_PREFIX:-$root/build/wineprefix-e2e}"
base_dll_overrides=$WINEDLLOVERRIDES

if [ -z "${DISPLAY:-}" ]; then
  echo "run_e2e: no display, and no virtual one could be started" >&2
  exit 2
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run_e2e: the Wine prefix $WINEPREFIX could not be made" >&2
  exit 2
fi

reports=$build/e2e
mkdir -p "$reports"

# --- Helpers for scenario setups ---------------------------------------------------------

# A host path as a Windows program under Wine sees it (Z: is the host's /).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

system32_dir() { echo "$WINEPREFIX/drive_c/windows/system32"; }
syswow64_dir() { echo "$WINEPREFIX/drive_c/windows/syswow64"; }
# Where Velmora looks for the control file on 64-bit Windows.
control_file_path() { echo "$(syswow64_dir)/MsComCtl.OCX"; }

# Removes every MsComCtl.OCX, file or folder, whatever its case, from both system folders.
remove_control_file() {
  local dir
  for dir in "$(system32_dir)" "$(syswow64_dir)"; do
    [ -d "$dir" ] && find "$dir" -maxdepth 1 -iname 'mscomctl.ocx' -exec rm -rf {} +
  done
  return 0
}

# place_control_file SOURCE: SOURCE becomes the control file (and nothing else does).
place_control_file() {
  remove_control_file
  mkdir -p "$(syswow64_dir)"
  cp "$1" "$(control_file_path)"
}

# place_control_variant NAME: one of the stand-in files of tests/controlfiles.
place_control_variant() { place_control_file "$build/controlfiles/$1/MsComCtl.OCX"; }

# A folder named MsComCtl.OCX where the file should be.
place_control_folder() {
  remove_control_file
  mkdir -p "$(control_file_path)"
}

setup_no_control_file() { remove_control_file; }

# --- Helpers for checks -------------------------------------------------------------------

# report_field REPORT KEY: the values of KEY, one a line.
report_field() { sed -n "s/^$2|//p" "$1"; }

# bars_animated REPORT MIN: MIN progress bars at least were seen at 3 lengths or more
# before they were whole (no timing involved).
bars_animated() {
  local count
  count=$(report_field "$1" bar | awk -F'|' '$2 >= 3' | wc -l)
  if [ "$count" -lt "$2" ]; then
    echo "expected $2 animated progress bar(s), saw $count"
    return 1
  fi
}

# msgbox_matches REPORT EXPECTED: the message box text, line by line, as the expected rows.
msgbox_matches() {
  compare_rows <(printf '%s\n' "$2") <(report_field "$1" msgbox) "message box line"
}

# --- Row comparison -----------------------------------------------------------------------

row_matches() {  # EXPECTED ACTUAL
  local expected=$1 actual=$2
  case $expected in
    '~'*) [[ $actual =~ ^(${expected:1})$ ]] ;;
    '='*) [ "$actual" == "${expected:1}" ] ;;
    *) expected=${expected%"${expected##*[! ]}"}; [ "$actual" == "$expected" ] ;;
  esac
}

# compare_rows EXPECTED_FILE ACTUAL_FILE [WHAT]: prints the first difference, if any.
compare_rows() {
  local what=${3:-row} want=() got=() i=0 j=0 e
  mapfile -t want <"$1"
  mapfile -t got <"$2"
  # Trailing empty rows are not rows the program wrote.
  while [ ${#got[@]} -gt 0 ] && [ -z "${got[-1]}" ]; do unset 'got[-1]'; done
  while [ $i -lt ${#want[@]} ]; do
    e=${want[$i]}
    if [ "$e" == "..." ]; then
      i=$((i + 1))
      [ $i -eq ${#want[@]} ] && return 0
      while [ $j -lt ${#got[@]} ] && ! row_matches "${want[$i]}" "${got[$j]}"; do j=$((j + 1)); done
      if [ $j -eq ${#got[@]} ]; then
        echo "no $what after $what $j is '${want[$i]}'"
        return 1
      fi
      continue
    fi
    if [ $j -ge ${#got[@]} ]; then
      echo "$what $((j + 1)) missing, expected '$e'"
      return 1
    fi
    if ! row_matches "$e" "${got[$j]}"; then
      echo "$what $((j + 1)) differs"
      echo "  expected '$e'"
      echo "  actual   '${got[$j]}'"
      return 1
    fi
    i=$((i + 1))
    j=$((j + 1))
  done
  if [ $j -lt ${#got[@]} ]; then
    echo "$what $((j + 1)) not expected: '${got[$j]}'"
    return 1
  fi
}

# --- Running a scenario -------------------------------------------------------------------

passed=0
failed=0
ran=" "

# run_harness REPORT [VAR=VALUE...]: Velmora.exe through the harness, its report to REPORT.
run_harness() {
  local report=$1
  shift
  rm -f "$report"
  env WINEDLLOVERRIDES="$base_dll_overrides" "$@" \
    timeout 120 "$WINE" "$harness_exe" --timeout 60 --out "$(winpath "$report")" "$(winpath "$velmora_exe")" \
    </dev/null >"$report.log" 2>&1
}

# check_report NAME REPORT EXPECTED EXIT_CODE: prints each problem found.
check_report() {
  local name=$1 report=$2 expected=$3 code=$4 value
  [ -s "$report" ] || { echo "no report (see $report.log)"; return; }

  value=$(report_field "$report" result)
  [ "$value" == "ok" ] || echo "harness result: $value"
  value=$(report_field "$report" title)
  [ "$value" == "Velmora" ] || echo "console title: '$value', expected 'Velmora'"
  value=$(report_field "$report" columns)
  [ "$value" == "80" ] || echo "console columns: $value, expected 80"

  local expected_file
  if declare -F "$expected" >/dev/null; then
    expected_file=$reports/$name.expected
    "$expected" >"$expected_file"
  else
    expected_file=$e2e_dir/expected/$expected
  fi
  compare_rows "$expected_file" <(report_field "$report" row)

  if [ "$code" == "3" ]; then
    [ -n "$(report_field "$report" msgbox_title)" ] || echo "no message box titled Velmora"
    value=$(report_field "$report" prompt)
    [ "$value" == "none" ] || echo "prompt: $value, expected none after the message box"
  else
    value=$(report_field "$report" prompt)
    [ "$value" == "waiting" ] || echo "prompt: $value, expected the program waiting at it"
    value=$(report_field "$report" enter_to_exit_ms)
    if [ -z "$value" ] || [ "$value" -ge 1500 ]; then
      echo "from Enter to exit: ${value:-never} ms, expected under 1500"
    fi
    [ -z "$(report_field "$report" msgbox_title)" ] || echo "unexpected message box: $(report_field "$report" msgbox | tr '\n' ' ')"
  fi
  value=$(report_field "$report" exit)
  [ "$value" == "$code" ] || echo "exit code: $value, expected $code"

  if declare -F "check_$name" >/dev/null; then
    local said
    said=$("check_$name" "$report") || said=${said:-"check_$name failed"}
    [ -z "$said" ] || echo "$said"
  fi
}

scenario() {
  local name=$1 setup=$2 expected=$3 code=$4
  shift 4
  if [ ${#only[@]} -gt 0 ] && [[ " ${only[*]} " != *" $name "* ]]; then return 0; fi
  ran+="$name "
  local report=$reports/$name.txt problems
  remove_control_file
  if ! problems=$("$setup" 2>&1); then
    problems="setup $setup failed${problems:+: $problems}"
  else
    run_harness "$report" "$@"
    problems=$(check_report "$name" "$report" "$expected" "$code")
  fi
  if [ -z "$problems" ]; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    printf '%s\n' "$problems" | sed 's/^/    /'
    echo "    (report: $report)"
    failed=$((failed + 1))
  fi
}

# --- Expected rows -------------------------------------------------------------------------

expect_header() {
  local frame edge=-----
  frame=$(printf -- '-%.0s' $(seq 80))
  echo "$frame"
  echo "~$edge.{70}$edge"
  echo "~$edge.{70}$edge"
  echo "~$edge.{70}$edge"
  echo "$frame"
  echo "The program tests the version of installed ActiveX add-on, MsComCtl.OCX file"
  echo ""
  echo "..."
}

# --- Scenarios -------------------------------------------------------------------------------

scenario header setup_no_control_file expect_header 2

for name in "${only[@]}"; do
  if [[ $ran != *" $name "* ]]; then
    echo "FAIL $name"
    echo "    no such scenario"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
