#!/usr/bin/env bash
# Builds an optimised tree and times one settings read against a simulated adapter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target settingsread_benchmark
build/release/benchmarks/settingsread_benchmark "${1:-5}"
