#!/usr/bin/env bash
# Two builds of the same sources, in different folders, at different times and from
# different presets, must give byte-identical executables and release package: this
# checkout's own build (the one the tests ran, brought up to date) and a copy's, built
# afresh elsewhere from the presets of the program alone. With --built, this
# checkout's release is taken as it is: test.sh builds it, and the tests run on it.
# With --make-copy DIR, only the copy is built, in DIR;
# --copy DIR then takes that copy as it is: test.sh builds it beside everything else,
# from the start, and compares once its own build is done.
#   tests/tools/check-reproducible.sh [--built] [--copy DIR]
#   tests/tools/check-reproducible.sh --make-copy DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
built= copy= make_copy=
while [ $# -gt 0 ]; do
  case "$1" in
    --built) built=1 ;;
    --copy) copy=$2; shift ;;
    --make-copy) copy=$2; make_copy=1; shift ;;
    *) echo "usage: $0 [--built] [--copy DIR] | --make-copy DIR" >&2; exit 2 ;;
  esac
  shift
done
if [ -z "$copy" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  copy=$work/elsewhere/checkout
  make_copy=1
fi
# The release target builds both presets, one after the other, each with every processor.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}

# release TREE FAMILY: the package built in TREE from the presets of FAMILY: "" (win32
# and win64, with the tests: this checkout's, as test.sh builds it) or "run-" (the
# program alone, as anyone packages it: the copy's). Both give the same bytes.
release() {
  (cd "$1" && cmake --preset "${2}win64" >/dev/null && cmake --build --preset "${2}win64" --target release -j 1 >/dev/null)
}

if [ -n "$make_copy" ]; then
  mkdir -p "$copy"
  # The project's files as git knows them, without any build output.
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy")
  release "$copy" run-
  if [ -n "${work:-}" ]; then sleep 2; else echo "copy built in $copy"; exit 0; fi
fi
[ -n "$built" ] || release "$root" ""

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
status=0
for file in win32/Velmora.exe win64/Velmora.exe "Velmora-$version.zip"; do
  case "$file" in *.zip) ours=dist/$file theirs=dist/$file ;; *) ours=build/$file theirs=build/run-$file ;; esac
  a=$(sha256sum "$root/$ours" | cut -d' ' -f1)
  b=$(sha256sum "$copy/$theirs" | cut -d' ' -f1)
  if [ "$a" = "$b" ]; then
    echo "same bytes: $ours and the copy's $theirs ($a)"
  else
    echo "DIFFERENT: $ours ($a) and the copy's $theirs ($b)"
    status=1
  fi
done
# No build folder may be named inside the programs.
for program in "$root/build/win32/Velmora.exe" "$root/build/win64/Velmora.exe" \
               "$copy/build/run-win32/Velmora.exe" "$copy/build/run-win64/Velmora.exe"; do
  tree=${program%/build/*}
  if grep -a -q -e "$tree" "$program"; then
    echo "DIFFERENT: $program names its build folder"
    status=1
  fi
done
exit $status
