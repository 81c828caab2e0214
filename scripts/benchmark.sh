#!/usr/bin/env bash
# Builds an optimised tree and runs the benchmarks against simulated adapters at the real timing:
# one settings read (five times), then device searches with 1, 8 and 32 adapters, and twenty
# searches in one process to show that memory does not grow, then five starts of the utility
# itself, each with its search of eight adapters. Takes about eleven minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target settingsread_benchmark search_benchmark
build/release/benchmarks/settingsread_benchmark 5
for adapters in 1 8 32; do
  build/release/benchmarks/search_benchmark "$adapters" 1
done
build/release/benchmarks/search_benchmark 1 20
cmake --build build/release --parallel 2 --target startup_benchmark
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} build/release/benchmarks/startup_benchmark 5
