#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (headless): the whole program's tests, then
# the core alone, built without Qt and with AddressSanitizer and UndefinedBehaviorSanitizer, over
# its own tests and the fuzz target's seeds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
(cd "$root/build" && ctest --output-on-failure -j 2 --timeout 300)

cmake -S "$root" -B "$root/build-core-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_WINDOW=OFF \
  -DBUILD_TESTING=ON \
  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" >/dev/null
cmake --build "$root/build-core-asan" -j "$(nproc)"
(cd "$root/build-core-asan" && ctest --output-on-failure -j 2 --timeout 300)
