#!/usr/bin/env bash
# The program's sources must include only down their layers, be formatted as
# .clang-format says and pass clang-tidy (.clang-tidy) and cppcheck without a finding;
# ./run.sh's configuration must need no test framework.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
jobs=$(nproc 2>/dev/null || echo 2)
status=0

mapfile -t sources < <(git ls-files -co --exclude-standard 'src/*.cpp' 'src/*.h')
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep -E '\.cpp$')

if ! python3 tests/tools/check_layers.py; then status=1; fi

echo "clang-format: ${#sources[@]} files"
if ! clang-format --dry-run --Werror "${sources[@]}"; then status=1; fi

# One compile database for all of src/: the program alone, as the x86-64 build
# compiles it, each file a unit of its own (no batches), with MinGW's headers.
cmake --preset run-win64 -B build/tidy -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVELMORA_UNITY_BUILD=OFF >/dev/null
# It is ./run.sh's configuration too, which must register no test and look for no
# GoogleTest: a machine that only runs the program has none.
tests=$(ctest --test-dir build/tidy -N | sed -n 's/^Total Tests: //p')
if [ "$tests" != 0 ]; then echo "./run.sh's configuration registers $tests tests"; status=1; fi
if grep -E '^(VELMORA_GTEST_SOURCE_DIR|gtest|GTest|googletest)' build/tidy/CMakeCache.txt; then
  echo "./run.sh's configuration looks for GoogleTest"
  status=1
fi
mingw_includes=()
while read -r dir; do
  case "$dir" in *include-fixed|*/12-win32/include) continue ;; esac
  mingw_includes+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-win32 -E -x c++ - -v </dev/null 2>&1 |
         sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ ')

tidy() {
  clang-tidy --quiet "$@" 2>&1 | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.?$' || true
}
echo "clang-tidy: ${#units[@]} files"
report=$(printf '%s\n' "${units[@]}" | xargs -P "$jobs" -n 2 bash -c \
  "$(declare -f tidy); tidy -p build/tidy --extra-arg=--target=x86_64-w64-mingw32 ${mingw_includes[*]} \"\$@\"" _)
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
