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
#                and ends within a second of Enter
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


# A prefix of the scenarios' own, and a virtual display of their own unless
# VELMORA_E2E_DISPLAY=1 keeps the current one (the consoles then show there).
[ "${VELMORA_E2E_DISPLAY:-}" == 1 ] || unset DISPLAY
# shellcheck source=tests/tools/wine-env.sh
source "$root/tests/tools/wine-env.sh" "${VELMORA_E2E_PREFIX:-$root/build/wineprefix-e2e}"
trap velmora_wine_cleanup EXIT
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
  # 70 pauses of 30 ms: about 2.1 s a bar, checked loosely.
  report_field "$1" bar | awk -F'|' '$2 >= 3 && ($3 < 1500 || $3 > 10000) {
    printf "a progress bar took %d ms to fill, expected about 2100\n", $3; bad = 1 } END { exit bad }'
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
    if [ -z "$value" ] || [ "$value" -ge 1000 ]; then
      echo "from Enter to exit: ${value:-never} ms, expected under 1000"
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

# --- Windows versions ------------------------------------------------------------------------

# Wine reports the version that the prefix's registry names (when HKCU\Software\Wine
# has no Version value): WMI, GetVersionExA and RtlGetVersion all follow it.
#   set_windows_version VERSION BUILD SERVICE_PACK PRODUCT_TYPE
# SERVICE_PACK is "" or a number (1 for "Service Pack 1"); PRODUCT_TYPE WinNT or ServerNT.
set_windows_version() {
  local version=$1 build=$2 sp=$3 type=$4 regfile major minor csd_text csd_word
  major=${version%%.*}
  minor=${version#*.}
  if [ -n "$sp" ]; then
    csd_text="\"CSDVersion\"=\"Service Pack $sp\""
    csd_word=$(printf 'dword:%08x' $((sp << 8)))
  else
    csd_text='"CSDVersion"=-'
    csd_word='dword:00000000'
  fi
  regfile=$reports/windows-version.reg
  cat >"$regfile" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]
"CurrentVersion"="$version"
"CurrentBuild"="$build"
"CurrentBuildNumber"="$build"
$csd_text
"CurrentMajorVersionNumber"=$( [ "$major" -ge 10 ] && printf 'dword:%08x' "$major" || echo -)
"CurrentMinorVersionNumber"=$( [ "$major" -ge 10 ] && printf 'dword:%08x' "$minor" || echo -)

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ProductOptions]
"ProductType"="$type"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Windows]
"CSDVersion"=$csd_word
REG
  "$WINE" regedit /S "$(winpath "$regfile")"
}

# The prefix as made: Windows 7 SP1 workstation.
windows_7() { set_windows_version 6.1 7601 1 WinNT; }

# --- Expected rows -------------------------------------------------------------------------

# field LABEL VALUE: a report row; the label's TABs bring the value to column 32.
field() { printf '%-32s%s\n' "$1" "$2" | sed 's/ *$//'; }
# field_like LABEL REGEX: a report row whose value is the system's own.
field_like() { printf '~%s {%d}%s\n' "${1% }" $((33 - ${#1})) "$2"; }
# field_any LABEL: a report row whose value, maybe empty, is the system's own.
field_any() { printf '~%s( {%d}.*)?\n' "${1% }" $((33 - ${#1})); }

frame_row() { printf -- '-%.0s' $(seq 80); echo; }
bar_row() { printf '|%s|\n' "$(printf -- '-%.0s' $(seq 69))"; }

expect_header() {
  frame_row
  echo "-----                  Velmora Software Workshop ver. 1.0.0.6              -----"
  echo "-----                         www.velmora-tool.org                         -----"
  echo "-----               ActiveX add-in checker, MsComCtl.OCX file              -----"
  frame_row
  echo "The program tests the version of installed ActiveX add-on, MsComCtl.OCX file"
  echo ""
}

# The rows every report variant ends with: VERSION_TEXT BUILD MAJOR MINOR ENUM
expect_common_rows() {
  local version=$1 build=$2 major=$3 minor=$4 enum=$5
  field "GetOSVerEnum(): " "$enum"
  field_like "Install date: " '[0-9]{1,2}/[0-9]{1,2}/[0-9]{4}( [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?)?'
  field_any "Licenced user: "
  field_any "Registered user: "
  field_any "Serial number: "
  field_any "Organization: "
  field_like "Product set: " '[0-9]+'
  field "Platform ID: " 2
  field "Main version: " "$major"
  field "Second version: " "$minor"
  field_like "ServicePack main version: " '[0-9]+'
  field_like "ServicePack second version: " '[0-9]+'
  field "Version OS: " "$version"
  field "Build OS: " "$build"
  field_like "Language version: " '[0-9]+'
  field_like "Type OS: " '[0-9]+'
  field_like "Set code: " '[0-9]+'
  field_like "Country code: " '[0-9]+'
  field_any "Encryption level: "
  field_any "Build type: "
  field_any "Boot drive: "
}

# Windows 7 is known to the version enumeration (10): name and version from WMI.
expect_report_windows_7() {
  echo "About OS Windows"
  bar_row
  field_like "OS: " '.*Windows 7.*'
  field "Version OS: " 6.1.7601
  field "Bit version: " 64bit
  expect_common_rows 6.1.7601 7601 6 1 10
}

# Later systems: enumeration 0, name and version from the kernel's record.
#   expect_report_kernel NAME VERSION_TEXT BUILD MAJOR MINOR SERVICE_PACK
expect_report_kernel() {
  echo "About OS Windows"
  bar_row
  field "OS: " "$1"
  field "Version OS: " "$2"
  field "Service pack: " "$6"
  field "Bit version: " 64bit
  expect_common_rows "$2" "$3" "$4" "$5" 0
}

control_path='C:\windows\SysWoW64\MsComCtl.OCX'

expect_not_found() {
  field "Windows folder: " 'C:\windows'
  echo ""
  echo "Test ActiveX file .OCX"
  bar_row
  echo "File $control_path not found"
  echo ""
  echo ""
  echo "Press Enter to exit"
}

# expect_checked VERSION CRC FAIL_LINE... : a run that reached the verdict.
expect_checked() {
  local version=$1 crc=$2 line
  shift 2
  field "Windows folder: " 'C:\windows'
  echo ""
  echo "Test ActiveX file .OCX"
  bar_row
  echo "File $control_path found"
  echo ""
  echo "Test version MsComCtl.OCX"
  bar_row
  echo "Version is $version" | sed 's/ *$//'
  echo ""
  echo "Test CRC32 MsComCtl.OCX"
  bar_row
  echo "CRC32 is $crc"
  echo ""
  for line in "$@"; do echo "$line"; done
  bar_row
  echo ""
  echo ""
  echo "Press Enter to exit"
}

# --- Scenarios -------------------------------------------------------------------------------

# The control-file check, on the prefix's Windows 7.
setup_variant() { windows_7 && place_control_variant "$1"; }
setup_valid() { setup_variant valid; }
setup_product_differs() { setup_variant product-differs; }
setup_large() { setup_variant large; }
setup_other_version() { setup_variant other-version; }
setup_version_only() { setup_variant other-version-crc-ok; }
setup_other_crc() { setup_variant other-crc; }
setup_no_version() { setup_variant no-version; }
setup_empty() { setup_variant empty; }
setup_missing() { windows_7 && remove_control_file; }
setup_folder() { windows_7 && place_control_folder; }

win7() { expect_header; expect_report_windows_7; }
expect_valid() { win7; expect_checked 6.1.98.46 B97FD45E "Supplement is valid"; }
expect_other_version() { win7; expect_checked 6.1.98.39 0BADC0DE "Version fail" "CRC32 fail" "Supplement is fail"; }
expect_version_only() { win7; expect_checked 6.1.98.39 B97FD45E "Version fail" "Supplement is fail"; }
expect_other_crc() { win7; expect_checked 6.1.98.46 12345678 "CRC32 fail" "Supplement is fail"; }
expect_no_version() { win7; expect_checked "" B97FD45E "Version fail" "Supplement is fail"; }
expect_empty() { win7; expect_checked "" 00000000 "Version fail" "CRC32 fail" "Supplement is fail"; }
expect_missing() { win7; expect_not_found; }

check_valid() { bars_animated "$1" 4; }
check_missing() { bars_animated "$1" 1; }

scenario valid setup_valid expect_valid 0
scenario product-version-differs setup_product_differs expect_valid 0
scenario larger-than-two-reads setup_large expect_valid 0
scenario version-and-crc-differ setup_other_version expect_other_version 1
scenario version-differs setup_version_only expect_version_only 1
scenario crc-differs setup_other_crc expect_other_crc 1
scenario no-version-resource setup_no_version expect_no_version 1
scenario empty-file setup_empty expect_empty 1
scenario missing setup_missing expect_missing 2
scenario folder-in-its-place setup_folder expect_missing 2

# The report on later Windows: the kernel record names them.
setup_windows_10() { set_windows_version 10.0 19045 "" WinNT; }
setup_windows_11() { set_windows_version 10.0 22631 "" WinNT; }
setup_server_2022() { set_windows_version 10.0 20348 "" ServerNT; }
setup_windows_81() { set_windows_version 6.3 9600 "" WinNT; }
expect_windows_10() { expect_header; expect_report_kernel "Windows 10" 10.0.19045 19045 10 0 ""; expect_not_found; }
expect_windows_11() { expect_header; expect_report_kernel "Windows 11" 10.0.22631 22631 10 0 ""; expect_not_found; }
expect_server_2022() {
  expect_header
  expect_report_kernel "Windows Server 2022" 10.0.20348 20348 10 0 ""
  expect_not_found
}
expect_windows_81() { expect_header; expect_report_kernel "Windows 8.1" 6.3.9600 9600 6 3 ""; expect_not_found; }

scenario windows-10 setup_windows_10 expect_windows_10 2
scenario windows-11 setup_windows_11 expect_windows_11 2
scenario windows-server-2022 setup_server_2022 expect_server_2022 2
scenario windows-8.1 setup_windows_81 expect_windows_81 2

# WMI unreachable: the error ends the run before anything of the report shows.
expect_wmi_unreachable() { expect_header | head -n 6; }
check_wmi_unreachable() {
  grep -q '^msgbox|.*winmgmts:' "$1" || echo "the message box does not name the WMI connection"
  grep -q '^msgbox|.*0x[0-9A-F]\{8\}' "$1" || echo "the message box gives no error number"
}
scenario wmi-unreachable windows_7 expect_wmi_unreachable 3 WINEDLLOVERRIDES="$base_dll_overrides;wbemprox=d"

for name in "${only[@]}"; do
  if [[ $ran != *" $name "* ]]; then
    echo "FAIL $name"
    echo "    no such scenario"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
