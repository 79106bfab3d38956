#!/usr/bin/env bash
# Two builds of the same sources, in different folders and at different times,
# must give byte-identical executables and release package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build_copy() {
  local dir=$1
  mkdir -p "$dir"
  # The project's files as git knows them, without any build output.
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$dir")
  (cd "$dir" && cmake --preset win64 >/dev/null && cmake --build --preset win64 --target release >/dev/null)
}

build_copy "$work/first/velmora"
sleep 2
build_copy "$work/second/elsewhere/checkout"

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
status=0
for file in build/win32/Velmora.exe build/win64/Velmora.exe "dist/Velmora-$version.zip"; do
  a=$(sha256sum "$work/first/velmora/$file" | cut -d' ' -f1)
  b=$(sha256sum "$work/second/elsewhere/checkout/$file" | cut -d' ' -f1)
  if [ "$a" = "$b" ]; then
    echo "same bytes: $file ($a)"
  else
    echo "DIFFERENT: $file ($a vs $b)"
    status=1
  fi
done
# No build folder may be named inside the programs.
for file in build/win32/Velmora.exe build/win64/Velmora.exe; do
  if grep -a -q -e "$work" "$work/first/velmora/$file"; then
    echo "DIFFERENT: $file names its build folder"
    status=1
  fi
done
exit $status
