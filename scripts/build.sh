#!/usr/bin/env bash
# Configures and builds Quillory into build/ (Release with debug info, Ninja).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WINDOW=ON -DBUILD_TESTING=ON "$@" >/dev/null
cmake --build "$root/build" -j "$(nproc)"
