#!/usr/bin/env bash
# The native tests, built with clang under AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; any report fails the run. The same build
# makes the fuzz targets (the logic is compiled once for both), and ctest replays
# their seed inputs; tests/tools/fuzz.sh fuzzes with them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
ctest --preset native-sanitize -j "$(nproc 2>/dev/null || echo 2)"
