#!/usr/bin/env bash
# Makes the pictures of the windows in docs/screenshots, in English and in Japanese, from the
# real windows against simulated adapters. Needs no display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh fonts-noto-cjk
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target kov-screenshots
export QT_QPA_PLATFORM=offscreen
LANGUAGE=en LC_ALL=C.UTF-8 build/release/tools/kov-screenshots docs/screenshots
LANGUAGE=ja LC_ALL=C.UTF-8 build/release/tools/kov-screenshots docs/screenshots
