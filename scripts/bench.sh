#!/usr/bin/env bash
# Builds and runs the benchmarks in bench/ (not part of the tests).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLORY_BENCH=ON >/dev/null
cmake --build "$root/build-bench" -j "$(nproc)"
for b in "$root"/build-bench/bench/*; do
  [ -f "$b" ] || continue
  [ "$(basename "$b")" = plain_write_baseline ] && continue  # the export benchmark's yardstick
  [ -x "$b" ] && "$b"
done
"$root/bench/export_bench.sh" "$root/build-bench"
