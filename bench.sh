#!/usr/bin/env bash
# Builds the CRC-32 benchmark from the native preset, optimised, and runs it; arguments go to the benchmark
# (e.g. --benchmark_filter=Pclmul). Installs what it needs on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source tools/install-deps.sh
velmora_install_deps cmake make g++ libgtest-dev libbenchmark-dev zlib1g-dev

# Optimised, in a folder of its own: the native preset's build is unoptimised.
cmake --preset native -B build/bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCHMARKS=ON >/dev/null
cmake --build build/bench --target velmora_crc32_bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
exec build/bench/bench/velmora_crc32_bench "$@"
