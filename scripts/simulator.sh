#!/usr/bin/env bash
# Builds the adapter simulator and starts it; arguments go to the simulator
# (default: the example network of tools/simulator/example.ini).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target kov-simulator
if (($# == 0)); then
  set -- --config tools/simulator/example.ini
fi
exec build/release/tools/kov-simulator "$@"
