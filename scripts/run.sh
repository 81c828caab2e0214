#!/usr/bin/env bash
# Installs what is missing, builds the utility and starts it.
#
#   bash scripts/run.sh                   # the utility on the PC's network
#   bash scripts/run.sh --with-simulator  # first the example network of simulated adapters
#                                         # (tools/simulator/example.ini), then the utility
set -euo pipefail
cd "$(dirname "$0")/.."

with_simulator=false
case "${1:-}" in
  "") ;;
  --with-simulator) with_simulator=true ;;
  *) echo "usage: $0 [--with-simulator]" >&2; exit 2 ;;
esac

bash scripts/install-dependencies.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target KOVSL47 kov-simulator

if ! $with_simulator; then
  exec build/release/src/KOVSL47
fi

log=$(mktemp)
build/release/tools/kov-simulator --config tools/simulator/example.ini >"$log" 2>&1 &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true; rm -f "$log"' EXIT
# The utility searches at once: start it when the adapters are up.
for _ in $(seq 50); do
  if grep -q "Ctrl-C ends" "$log" || ! kill -0 "$simulator" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
if ! kill -0 "$simulator" 2>/dev/null; then
  cat "$log" >&2
  echo "The simulator did not start (are ports 2000 and 55555 free?)" >&2
  exit 1
fi
echo "Simulator running (log: $log)"
build/release/src/KOVSL47
