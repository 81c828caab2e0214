#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test. Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-dependencies.sh

build=build/test
# No display is needed, also not for listing the window tests while building.
export QT_QPA_PLATFORM=offscreen
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKOV_SANITIZE=ON
cmake --build "$build" --parallel 2

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --timeout 300
