#!/usr/bin/env bash
# The program's sources must include only down their layers, be formatted as
# .clang-format says and pass clang-tidy (.clang-tidy) and cppcheck without a finding.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
jobs=$(nproc 2>/dev/null || echo 2)
status=0

mapfile -t sources < <(git ls-files -co --exclude-standard 'src/*.cpp' 'src/*.h')
mapfile -t logic < <(printf '%s\n' "${sources[@]}" | grep -E '^src/(app|console|filecheck|osinfo)/.*\.cpp$')
mapfile -t windows < <(printf '%s\n' "${sources[@]}" | grep -E '^src/platform/win32/.*\.cpp$')

if ! python3 tests/tools/check_layers.py; then status=1; fi

echo "clang-format: ${#sources[@]} files"
if ! clang-format --dry-run --Werror "${sources[@]}"; then status=1; fi

# The logic with the native build's flags; the Windows layer with the MinGW
# build's flags and headers.
cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --preset win64 -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mingw_includes=()
while read -r dir; do
  case "$dir" in *include-fixed|*/12-win32/include) continue ;; esac
  mingw_includes+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-win32 -E -x c++ - -v </dev/null 2>&1 |
         sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ ')

tidy() {
  clang-tidy --quiet "$@" 2>&1 | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.?$' || true
}
echo "clang-tidy: ${#logic[@]} + ${#windows[@]} files"
report=$(
  printf '%s\n' "${logic[@]}" | xargs -P "$jobs" -n 2 bash -c "$(declare -f tidy); tidy -p build/native \"\$@\"" _
  printf '%s\n' "${windows[@]}" | xargs -P "$jobs" -n 2 bash -c \
    "$(declare -f tidy); tidy -p build/win64 --extra-arg=--target=x86_64-w64-mingw32 ${mingw_includes[*]} \"\$@\"" _
)
if grep -q -E '(warning|error):' <<<"$report"; then
  echo "$report"
  status=1
fi

echo "cppcheck: src/"
# Members read only through aggregate loops are reported unused by mistake.
if ! cppcheck --quiet --enable=warning,style,performance,portability --std=c++17 --language=c++ \
  --inline-suppr --error-exitcode=1 -I src --suppress=missingIncludeSystem --suppress=unusedStructMember src; then
  status=1
fi

[ $status -eq 0 ] && echo "static analysis: clean"
exit $status
